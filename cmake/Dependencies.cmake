# Third-party libraries, one interface target per use, so each subsystem links only what it
# needs:
#   trevna_platform     threads and the system libraries every subsystem may call
#   trevna_ssh2         libssh2 1.11 with its crypto library
#   trevna_jpeg         libjpeg-turbo (jpeg62 API)
#   trevna_header_only  CLI11 and nlohmann-json
# libssh2 is static from the per-machine cache that scripts/deps.sh builds from Debian's trixie
# source, for Windows and natively alike, so the native tests exercise the libssh2 that ships.
# Natively the rest are Debian's -dev packages; for Windows the cache holds OpenSSL and
# libjpeg-turbo as well.
find_package(Threads REQUIRED)

add_library(trevna_platform INTERFACE)
add_library(trevna_ssh2 INTERFACE)
add_library(trevna_jpeg INTERFACE)
add_library(trevna_header_only INTERFACE)
target_link_libraries(trevna_platform INTERFACE Threads::Threads)

# Sets OUT to the default folder of the cache KIND (win64 or native): scripts/deps.sh holds it.
function(trevna_default_cache kind out)
  execute_process(COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/deps.sh --default-dir ${kind}
                  OUTPUT_VARIABLE dir OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(${out} ${dir} PARENT_SCOPE)
endfunction()

# Imported static library NAME from the cache folder PREFIX (PREFIX/lib/FILE, PREFIX/include).
function(trevna_cached_library name prefix file)
  if(NOT EXISTS ${prefix}/lib/${file} OR NOT EXISTS ${prefix}/stamp)
    message(FATAL_ERROR "${prefix}/lib/${file} is missing: run `make setup` (scripts/deps.sh)")
  endif()
  add_library(${name} STATIC IMPORTED)
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION ${prefix}/lib/${file}
                        INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include)
  # A change of the cache (a rebuilt library) reconfigures.
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${prefix}/stamp)
endfunction()

# The libssh2 of the cache must be the release the program is made for.
function(trevna_check_libssh2 prefix)
  file(STRINGS ${prefix}/include/libssh2.h version REGEX "^#define LIBSSH2_VERSION_NUM")
  if(NOT version MATCHES "0x010b01")
    message(FATAL_ERROR "${prefix} holds no libssh2 1.11.1 (${version}): run `make setup` (scripts/deps.sh)")
  endif()
endfunction()

if(WIN32)
  trevna_default_cache(win64 default_cache)
  set(TREVNA_WIN_DEPS "${default_cache}" CACHE PATH "Static Windows libraries (scripts/deps.sh win64)")
  trevna_cached_library(trevna::crypto ${TREVNA_WIN_DEPS}/openssl libcrypto.a)
  trevna_cached_library(trevna::ssh2 ${TREVNA_WIN_DEPS}/libssh2 libssh2.a)
  trevna_cached_library(trevna::jpeg ${TREVNA_WIN_DEPS}/libjpeg-turbo libjpeg.a)
  trevna_check_libssh2(${TREVNA_WIN_DEPS}/libssh2)
  set_property(TARGET trevna::crypto PROPERTY INTERFACE_LINK_LIBRARIES ws2_32 crypt32 bcrypt user32 advapi32)
  target_compile_definitions(trevna_platform INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  target_link_libraries(trevna_platform INTERFACE ws2_32 user32 advapi32)
  target_link_libraries(trevna_ssh2 INTERFACE trevna::ssh2 trevna::crypto)
  target_link_libraries(trevna_jpeg INTERFACE trevna::jpeg)
  # Header-only libraries come from a folder that holds only them (scripts/header-only.sh).
  set(TREVNA_HEADER_ONLY "${PROJECT_SOURCE_DIR}/.cache/header-only/include" CACHE PATH "Header-only libraries")
  target_include_directories(trevna_header_only SYSTEM INTERFACE "${TREVNA_HEADER_ONLY}")
else()
  trevna_default_cache(native default_cache)
  set(TREVNA_NATIVE_DEPS "${default_cache}" CACHE PATH "Static native libraries (scripts/deps.sh native)")
  find_package(PkgConfig REQUIRED)  # the card simulator's libssh
  find_package(OpenSSL REQUIRED)
  find_package(JPEG REQUIRED)
  trevna_cached_library(trevna::ssh2 ${TREVNA_NATIVE_DEPS}/libssh2 libssh2.a)
  trevna_check_libssh2(${TREVNA_NATIVE_DEPS}/libssh2)
  target_link_libraries(trevna_ssh2 INTERFACE trevna::ssh2 OpenSSL::Crypto)
  target_link_libraries(trevna_jpeg INTERFACE JPEG::JPEG)
  find_package(CLI11 CONFIG QUIET)
  find_package(nlohmann_json 3 QUIET)
endif()
