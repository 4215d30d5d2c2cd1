# The windows' artwork (toolbar strip, icon, cursors, error mark, logo, sample picture) is drawn
# at build time by tools/artwork/artwork.cpp. The generator runs on the build machine, so it is
# compiled with the build machine's own C++ compiler, also in the MinGW cross build; ui.rc finds
# its files in ${TREVNA_GENERATED}/artwork. Included from the top CMakeLists after
# trevna_resources is defined.
find_program(TREVNA_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
set(artwork_dir ${TREVNA_GENERATED}/artwork)
set(artwork_tool ${CMAKE_BINARY_DIR}/host/trevna-artwork)
set(artwork_sources ${PROJECT_SOURCE_DIR}/tools/artwork/artwork.cpp ${PROJECT_SOURCE_DIR}/src/archive/sample_picture.cpp
                    ${PROJECT_SOURCE_DIR}/src/archive/synthetic_road.cpp ${PROJECT_SOURCE_DIR}/src/base/bitmap_file.cpp)
add_custom_command(
  OUTPUT ${artwork_tool}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
  COMMAND ${TREVNA_HOST_CXX} -std=c++20 -O1 -I${PROJECT_SOURCE_DIR}/src -o ${artwork_tool} ${artwork_sources}
  DEPENDS ${artwork_sources} ${PROJECT_SOURCE_DIR}/src/archive/sample_picture.h
          ${PROJECT_SOURCE_DIR}/src/archive/synthetic_road.h ${PROJECT_SOURCE_DIR}/src/base/bitmap_file.h
  COMMENT "Building the artwork generator for the build machine")
set(artwork_files toolbar.bmp error_mark.bmp logo.bmp sample.bmp trevnaconf.ico eraser.cur move.cur direction.cur)
list(TRANSFORM artwork_files PREPEND ${artwork_dir}/)
add_custom_command(
  OUTPUT ${artwork_files}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${artwork_dir}
  COMMAND ${artwork_tool} ${artwork_dir}
  DEPENDS ${artwork_tool}
  COMMENT "Drawing the artwork")
add_custom_target(trevna_artwork DEPENDS ${artwork_files})
add_dependencies(trevna_resources trevna_artwork)
set_property(SOURCE ${PROJECT_SOURCE_DIR}/src/resources/ui.rc APPEND PROPERTY OBJECT_DEPENDS ${artwork_files})
