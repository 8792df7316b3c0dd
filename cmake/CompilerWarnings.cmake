# Warnings and sanitizers for every target of this project.
add_compile_options(-Wall -Wextra)
if(QUARN_WERROR)
  add_compile_options(-Werror)
endif()
if(QUARN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
