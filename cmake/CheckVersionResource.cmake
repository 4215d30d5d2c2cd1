# The `version_resource` test (cmake -P): the program's VERSIONINFO strings and its manifest carry
# the version of project(VERSION).   -DEXE=TrevnaConf.exe -DVERSION=1.2.3
string(REPLACE "." "\\." pattern "${VERSION}")
file(STRINGS ${EXE} utf16 ENCODING UTF-16LE REGEX "^[0-9.]+$")
file(STRINGS ${EXE} manifest REGEX "assemblyIdentity type=\"win32\" name=\"TrevnaConf\"")
list(FILTER utf16 INCLUDE REGEX "^${pattern}$")
list(LENGTH utf16 count)
if(NOT count EQUAL 2)
  message(FATAL_ERROR "${EXE}: expected FileVersion and ProductVersion \"${VERSION}\", found ${count} such strings")
endif()
if(NOT manifest MATCHES "version=\"${pattern}\\.0\"")
  message(FATAL_ERROR "${EXE}: the manifest does not say version=\"${VERSION}.0\": ${manifest}")
endif()
message(STATUS "${EXE}: version ${VERSION} in VERSIONINFO and manifest")
