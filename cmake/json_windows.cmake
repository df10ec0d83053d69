# nlohmann/json for the Windows cross build: the header-only library from Debian's
# nlohmann-json3-dev. Adding /usr/include to a cross compiler's search path would let every host
# header shadow the mingw-w64 ones, so the build tree gets an include folder holding nothing but a
# link to /usr/include/nlohmann, and that folder is what the interface target exports.
set(NIMBALO_JSON_HEADERS /usr/include/nlohmann CACHE PATH "nlohmann/json headers (Debian: nlohmann-json3-dev)")
if(NOT EXISTS ${NIMBALO_JSON_HEADERS}/json.hpp)
  message(FATAL_ERROR "nlohmann/json: ${NIMBALO_JSON_HEADERS}/json.hpp is missing (apt-get install nlohmann-json3-dev)")
endif()

set(_json_include ${CMAKE_BINARY_DIR}/_deps/json-include)
file(MAKE_DIRECTORY ${_json_include})
if(NOT IS_SYMLINK ${_json_include}/nlohmann)
  file(REMOVE_RECURSE ${_json_include}/nlohmann)
  file(CREATE_LINK ${NIMBALO_JSON_HEADERS} ${_json_include}/nlohmann SYMBOLIC)
endif()

add_library(nimbalo_json_headers INTERFACE)
target_include_directories(nimbalo_json_headers SYSTEM INTERFACE ${_json_include})
add_library(nlohmann_json::nlohmann_json ALIAS nimbalo_json_headers)
target_link_libraries(nimbalo_deps INTERFACE nlohmann_json::nlohmann_json)
