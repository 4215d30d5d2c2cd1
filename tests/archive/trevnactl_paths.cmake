# trevnactl takes arguments that begin with "/" as values (documents, JSON files, -o), natively
# and as trevnactl.exe under Wine, where every Unix path looks like a Windows-style option.
#   cmake -DTREVNACTL=<program> [-DRUNNER=<wine-run.sh>] -DWORK=<absolute folder> -P trevnactl_paths.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
if(NOT WORK MATCHES "^/")
  message(FATAL_ERROR "WORK must be an absolute path beginning with /: ${WORK}")
endif()

function(run expected_output)
  execute_process(COMMAND ${RUNNER} "${TREVNACTL}" ${ARGN} RESULT_VARIABLE code OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  if(NOT code EQUAL 0 OR NOT out MATCHES "${expected_output}")
    message(FATAL_ERROR "trevnactl ${ARGN}: exit ${code}\nstdout: ${out}\nstderr: ${err}")
  endif()
endfunction()

file(WRITE "${WORK}/in.json" "{\"format\": \"trevna-document\", \"version\": 1, \"pictureWidth\": 240, \"tracks\": 3}\n")
run("" import-json "${WORK}/in.json" "${WORK}/most.trv")
run("picture width: 240\r?\ntracks: 3\r?\n" info "${WORK}/most.trv")
run("" export-json "${WORK}/most.trv" "${WORK}/out.json")
file(READ "${WORK}/out.json" json)
if(NOT json MATCHES "\"tracks\": *3")
  message(FATAL_ERROR "export-json wrote no 3 tracks:\n${json}")
endif()

# A recording of one 2-byte frame; the joined file is the 524-byte header, the frame's chunk
# (8 + 2 bytes) and an index of one entry (8 + 16 bytes).
execute_process(COMMAND printf "RIFF\\032\\000\\000\\000AVI LIST\\016\\000\\000\\000movi00dc\\002\\000\\000\\000ab"
                OUTPUT_FILE "${WORK}/rec.avi" RESULT_VARIABLE code)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "printf failed")
endif()
run("" join -o "${WORK}/joined.avi" "${WORK}/rec.avi")
file(SIZE "${WORK}/joined.avi" size)
if(NOT size EQUAL 558)
  message(FATAL_ERROR "joined.avi has ${size} bytes, expected 558")
endif()
file(REMOVE_RECURSE "${WORK}")
