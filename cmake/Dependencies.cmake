# Third-party libraries: Debian's -dev packages natively, the static cache built by
# scripts/windows-deps.sh for the MinGW build.
find_package(Threads REQUIRED)

add_library(trevna_deps INTERFACE)
add_library(trevna_header_only INTERFACE)

if(WIN32)
  set(TREVNA_WIN_DEPS "${PROJECT_SOURCE_DIR}/.cache/win64" CACHE PATH "Static Windows libraries")
  if(NOT EXISTS "${TREVNA_WIN_DEPS}/lib/libssh2.a")
    message(FATAL_ERROR "Windows libraries missing in ${TREVNA_WIN_DEPS}: run scripts/windows-deps.sh")
  endif()
  target_include_directories(trevna_deps SYSTEM INTERFACE "${TREVNA_WIN_DEPS}/include")
  target_link_directories(trevna_deps INTERFACE "${TREVNA_WIN_DEPS}/lib")
  target_link_libraries(trevna_deps INTERFACE ssh2 ssl crypto jpeg z ws2_32 crypt32 bcrypt user32 advapi32
                        Threads::Threads)
  target_compile_definitions(trevna_deps INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  # Header-only libraries come from a folder that holds only them (scripts/header-only.sh).
  set(TREVNA_HEADER_ONLY "${PROJECT_SOURCE_DIR}/.cache/header-only/include" CACHE PATH "Header-only libraries")
  target_include_directories(trevna_header_only SYSTEM INTERFACE "${TREVNA_HEADER_ONLY}")
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBSSH2 REQUIRED IMPORTED_TARGET libssh2)
  find_package(JPEG REQUIRED)
  find_package(OpenSSL REQUIRED)
  target_link_libraries(trevna_deps INTERFACE PkgConfig::LIBSSH2 JPEG::JPEG OpenSSL::Crypto Threads::Threads)
  find_package(CLI11 CONFIG QUIET)
  find_package(nlohmann_json 3 QUIET)
endif()
