# Windows-only parts of nimbalo.exe: the resource script (application icon 1, manifest, version
# block) and, for the Wine smoke suite, the small cross-built check programs.
enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(NIMBALO_ICO ${CMAKE_BINARY_DIR}/res/nimbalo.ico)
set(NIMBALO_MANIFEST ${CMAKE_SOURCE_DIR}/res/nimbalo.manifest)
add_custom_command(
  OUTPUT ${NIMBALO_ICO}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/make_icon.py ${NIMBALO_ICO}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/make_icon.py
  COMMENT "Drawing the application icon"
  VERBATIM)
configure_file(${CMAKE_SOURCE_DIR}/res/nimbalo.rc.in ${CMAKE_BINARY_DIR}/res/nimbalo.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/res/nimbalo.rc PROPERTIES
  OBJECT_DEPENDS "${NIMBALO_ICO};${NIMBALO_MANIFEST}")
target_sources(nimbalo PRIVATE ${CMAKE_BINARY_DIR}/res/nimbalo.rc)

include(${CMAKE_SOURCE_DIR}/cmake/windows_checks.cmake)
