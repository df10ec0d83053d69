# Third-party libraries, gathered behind one interface target.
# Linux: Debian packages (RE2, nlohmann/json, OpenSSL's libcrypto, libcurl).
# Windows (mingw-w64 cross build): RE2 compiled from the npm package's vendored sources
# (cmake/re2_windows.cmake), nlohmann/json's headers, and the system DLLs.
add_library(nimbalo_deps INTERFACE)

if(TARGET nlohmann_json::nlohmann_json)
  target_link_libraries(nimbalo_deps INTERFACE nlohmann_json::nlohmann_json)
endif()

if(WIN32)
  if(NOT TARGET nlohmann_json::nlohmann_json)
    include(${CMAKE_SOURCE_DIR}/cmake/json_windows.cmake)
  endif()
  include(${CMAKE_SOURCE_DIR}/cmake/re2_windows.cmake)
  target_link_libraries(nimbalo_deps INTERFACE ws2_32 iphlpapi winhttp bcrypt shell32 ole32 uuid advapi32 user32)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(RE2 REQUIRED IMPORTED_TARGET re2)
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
  find_package(CURL REQUIRED)
  target_link_libraries(nimbalo_deps INTERFACE PkgConfig::RE2 OpenSSL::Crypto CURL::libcurl)
endif()
