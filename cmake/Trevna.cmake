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

# Our own code compiles without warnings, printf formats checked included.
function(trevna_strict target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# MinGW: the C99 printf family (%zu, %lld, %hhu...) instead of msvcrt's, which is what GCC's
# format checks check against. For every file of the project alike.
if(WIN32)
  add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)
endif()

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

# --- Layers ----------------------------------------------------------------------------------
# Every subsystem src/<name>/ is one library, trevna_<name>, that links the subsystems it uses.
# A library sees only its own headers and those of what it links: there is no include root
# over the whole of src/. Each library has a root of its own in the build folder,
# include-roots/<name>/, holding one link, <name> -> src/<name>, and passes it on (PUBLIC) to
# whatever links it. So `#include "shell/x.h"` in src/doc/ fails to compile ("No such file or
# directory") because trevna_doc does not link trevna_shell. `..` in an include would climb out
# of a root; the layering test (cmake/LayeringCheck.cmake) refuses it.
set(TREVNA_INCLUDE_ROOTS ${CMAKE_BINARY_DIR}/include-roots)

# Sets OUT to the include root of subsystem SUB, making it when needed.
function(trevna_include_root sub out)
  set(root ${TREVNA_INCLUDE_ROOTS}/${sub})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${sub} ${root}/${sub} SYMBOLIC)
  set(${out} ${root} PARENT_SCOPE)
endfunction()

# PUBLIC for a library with code, INTERFACE for one made of headers only.
function(trevna_usage_scope target out)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    set(${out} INTERFACE PARENT_SCOPE)
  else()
    set(${out} PUBLIC PARENT_SCOPE)
  endif()
endfunction()

#   trevna_subsystem(NAME LINKS lib...)
# trevna_NAME from src/NAME/*.cpp (platform layer filtered), or a header-only library while
# the folder holds no code.
function(trevna_subsystem sub)
  cmake_parse_arguments(S "" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${sub}/*.cpp)
  trevna_filter_platform(sources)
  if(sources)
    add_library(trevna_${sub} STATIC ${sources})
    trevna_strict(trevna_${sub})
  else()
    add_library(trevna_${sub} INTERFACE)
  endif()
  trevna_usage_scope(trevna_${sub} scope)
  trevna_include_root(${sub} root)
  target_include_directories(trevna_${sub} ${scope} ${root})
  target_link_libraries(trevna_${sub} ${scope} ${S_LINKS})
endfunction()

#   trevna_allow_headers(LIB LINK other HEADERS sub/x.h...)
# For a move in progress only: LIB may include exactly HEADERS (paths below src/) although it
# does not link their subsystem, and its users link OTHER's code (but see none of OTHER's
# other headers).
function(trevna_allow_headers lib)
  cmake_parse_arguments(A "" "LINK" "HEADERS" ${ARGN})
  set(root ${TREVNA_INCLUDE_ROOTS}/${lib}-allowed)
  file(REMOVE_RECURSE ${root})
  foreach(header IN LISTS A_HEADERS)
    if(NOT EXISTS ${PROJECT_SOURCE_DIR}/src/${header})
      message(FATAL_ERROR "trevna_allow_headers(${lib}): src/${header} does not exist")
    endif()
    get_filename_component(dir ${root}/${header} DIRECTORY)
    file(MAKE_DIRECTORY ${dir})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${header} ${root}/${header} SYMBOLIC)
  endforeach()
  trevna_usage_scope(${lib} scope)
  target_include_directories(${lib} ${scope} ${root})
  target_link_libraries(${lib} INTERFACE $<LINK_ONLY:${A_LINK}>)
endfunction()
