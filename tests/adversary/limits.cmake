# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# quarn under resource limits and with its allocations failing one by one
# (limits.py, with the LD_PRELOAD shim limits-failalloc.c).
enable_language(C)
add_library(quarn-failalloc MODULE limits-failalloc.c)
target_link_libraries(quarn-failalloc PRIVATE ${CMAKE_DL_LIBS})
add_dependencies(quarn-failalloc quarn)
add_test(NAME adversary.limits
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/limits.py $<TARGET_FILE:quarn>
                 $<TARGET_FILE:quarn-failalloc>)
set_tests_properties(adversary.limits PROPERTIES TIMEOUT 300 ENVIRONMENT "QUARN_SANITIZED=$<BOOL:${QUARN_SANITIZE}>")
