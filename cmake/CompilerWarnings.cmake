# SPDX-FileCopyrightText: 2026 The quarn-gui developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Warnings and sanitizers for every target of this project.
add_compile_options(-Wall -Wextra)
if(QUARN_WERROR)
  add_compile_options(-Werror)
  # Strict builds (CI) also refuse Qt API deprecated up to 6.8, the version
  # the extension ships against; older Qt headers know only their own
  # deprecations, so this checks as much as the installed Qt can.
  add_compile_definitions(QT_DISABLE_DEPRECATED_BEFORE=0x060800)
endif()
if(QUARN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
if(QUARN_SANITIZE_THREADS)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
