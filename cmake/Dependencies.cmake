# Third-party libraries, one interface target per use, so each subsystem links only what it
# needs: Debian's -dev packages natively, the static cache built by scripts/windows-deps.sh for
# the MinGW build.
#   trevna_platform     threads and the system libraries every subsystem may call
#   trevna_ssh2         libssh2 (with its crypto library)
#   trevna_jpeg         libjpeg-turbo (jpeg62 API)
#   trevna_header_only  CLI11 and nlohmann-json
find_package(Threads REQUIRED)

add_library(trevna_platform INTERFACE)
add_library(trevna_ssh2 INTERFACE)
add_library(trevna_jpeg INTERFACE)
add_library(trevna_header_only INTERFACE)
target_link_libraries(trevna_platform INTERFACE Threads::Threads)

if(WIN32)
  set(TREVNA_WIN_DEPS "${PROJECT_SOURCE_DIR}/.cache/win64" CACHE PATH "Static Windows libraries")
  if(NOT EXISTS "${TREVNA_WIN_DEPS}/lib/libssh2.a")
    message(FATAL_ERROR "Windows libraries missing in ${TREVNA_WIN_DEPS}: run scripts/windows-deps.sh")
  endif()
  target_compile_definitions(trevna_platform INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  target_link_libraries(trevna_platform INTERFACE ws2_32 user32 advapi32)
  foreach(lib trevna_ssh2 trevna_jpeg)
    target_include_directories(${lib} SYSTEM INTERFACE "${TREVNA_WIN_DEPS}/include")
    target_link_directories(${lib} INTERFACE "${TREVNA_WIN_DEPS}/lib")
  endforeach()
  target_link_libraries(trevna_ssh2 INTERFACE ssh2 ssl crypto z ws2_32 crypt32 bcrypt user32 advapi32)
  target_link_libraries(trevna_jpeg INTERFACE jpeg)
  # Header-only libraries come from a folder that holds only them (scripts/header-only.sh).
  set(TREVNA_HEADER_ONLY "${PROJECT_SOURCE_DIR}/.cache/header-only/include" CACHE PATH "Header-only libraries")
  target_include_directories(trevna_header_only SYSTEM INTERFACE "${TREVNA_HEADER_ONLY}")
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBSSH2 REQUIRED IMPORTED_TARGET libssh2)
  find_package(JPEG REQUIRED)
  find_package(OpenSSL REQUIRED)
  target_link_libraries(trevna_ssh2 INTERFACE PkgConfig::LIBSSH2 OpenSSL::Crypto)
  target_link_libraries(trevna_jpeg INTERFACE JPEG::JPEG)
  find_package(CLI11 CONFIG QUIET)
  find_package(nlohmann_json 3 QUIET)
endif()
