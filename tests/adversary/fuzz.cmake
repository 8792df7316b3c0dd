# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# quarn against du on seeded random trees and option sets (fuzz.py).
add_test(NAME adversary.fuzz COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/fuzz.py $<TARGET_FILE:quarn>)
set_tests_properties(adversary.fuzz PROPERTIES TIMEOUT 300)
