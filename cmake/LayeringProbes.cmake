# Proof that the layers hold: probe files that include one header each, compiled with the
# usage requirements of one library. The `layering` test builds every probe and expects the
# refused ones to fail with "<header>: No such file or directory" and the allowed ones to
# compile (so a refusal is never a broken probe). Native build only.
#
# Each entry: probe name, library, REFUSED or ALLOWED, header.
set(TREVNA_LAYERING_PROBES
  "doc_shell trevna_doc REFUSED shell/win/frame_parts.h"
  "shell_app trevna_shell REFUSED app/win/main_frame.h"
  "doc_logic trevna_doc REFUSED logic/validation.h"
  "doc_device trevna_doc REFUSED device/connection.h"
  "base_doc trevna_base REFUSED doc/document.h"
  "logic_device trevna_logic REFUSED device/connection.h"
  "device_doc trevna_device REFUSED doc/document.h"
  "device_doc_picture trevna_device REFUSED doc/picture.h"
  "device_picture trevna_device ALLOWED base/picture.h"
  "archive_logic trevna_archive REFUSED logic/validation.h"
  "doc_updates trevna_doc REFUSED shell/pending_updates.h"
  "doc_base trevna_doc ALLOWED base/text.h"
  "doc_doc trevna_doc ALLOWED doc/detector.h"
  "logic_doc trevna_logic ALLOWED doc/document.h"
  "shell_all trevna_shell ALLOWED device/connection.h"
)

set(probe_dir ${CMAKE_BINARY_DIR}/layering-probes)
set(probe_args)
foreach(entry IN LISTS TREVNA_LAYERING_PROBES)
  separate_arguments(fields UNIX_COMMAND "${entry}")
  list(GET fields 0 name)
  list(GET fields 1 lib)
  list(GET fields 2 expect)
  list(GET fields 3 header)
  if(NOT EXISTS ${PROJECT_SOURCE_DIR}/src/${header})
    message(FATAL_ERROR "layering probe ${name}: src/${header} does not exist, so its refusal would prove nothing")
  endif()
  file(CONFIGURE OUTPUT ${probe_dir}/${name}.cpp CONTENT "#include \"${header}\"\n")
  add_library(layering_probe_${name} OBJECT EXCLUDE_FROM_ALL ${probe_dir}/${name}.cpp)
  target_link_libraries(layering_probe_${name} PRIVATE ${lib})
  list(APPEND probe_args "layering_probe_${name}:${expect}:${header}")
endforeach()

add_test(NAME layering
         COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
                 "-DPROBES=${probe_args}" -P ${CMAKE_CURRENT_LIST_DIR}/LayeringCheck.cmake)
# It runs the build tool in this build folder: nothing else may build here meanwhile.
set_tests_properties(layering PROPERTIES TIMEOUT 300 RESOURCE_LOCK build_tree)
