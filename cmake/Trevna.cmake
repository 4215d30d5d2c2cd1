# Build helpers shared by every target of the project.

# Drops sources that belong to the other platform's layer.
function(trevna_filter_platform var)
  set(list ${${var}})
  if(WIN32)
    list(FILTER list EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER list EXCLUDE REGEX "_win\\.cpp$")
  endif()
  set(${var} ${list} PARENT_SCOPE)
endfunction()

# Our own code compiles without warnings.
function(trevna_strict target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  if(WIN32)
    # MinGW's printf format checking does not know every MS format flag.
    target_compile_options(${target} PRIVATE -Wno-format)
  endif()
endfunction()

# Windows executables carry their runtime with them.
function(trevna_static_exe target)
  if(WIN32)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++ $<$<CONFIG:Release>:-s>)
  endif()
endfunction()

if(TREVNA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
