# Cross-built check programs for the Wine smoke suite (scripts/stages/30-windows.sh). None is part
# of the default build: the stage names them as targets.
#
#  - test_<name>.exe for each folder named in NIMBALO_WINE_TEST_DIRS: the same GoogleTest sources
#    as the native test_<name>, built against the cross-built core and Debian's GoogleTest sources.
#  - replay_<input>.exe for each fuzz target: its corpus replayed without libFuzzer.
#  - wine_probe.exe: raw volume access and the executable's resources, as only Windows shows them.
set(NIMBALO_WINE_TEST_DIRS "cli;platform;deps;common;mft;index;query;userdata;setup;gui;update_live;service;client" CACHE STRING "tests/ folders also built as Windows test programs")
# Test files that only make sense on the build machine, with the reason.
set(NIMBALO_WINE_TEST_EXCLUDE
  tests/mft/real_volumes_test.cpp  # runs fsntfsinfo, sh and tools/mkimage.sh (Linux tools, root)
  tests/mft/volume_env_test.cpp    # letters as NIMBALO_VOLUME_X variables: the POSIX port only
  tests/mft/journal_reference_test.cpp  # runs fsntfsinfo and tar (Linux tools)
  tests/service/data_folder_test.cpp    # POSIX owners and modes
  tests/service/index_file_test.cpp     # POSIX modes and links
  tests/service/live_service_test.cpp   # a live service on an image copied with cp --sparse, POSIX environment
  tests/service/lifecycle_test.cpp      # Wine reports every folder as the Wine user's: the data folder is never trusted
)
set(NIMBALO_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian: googletest)")

if(EXISTS ${NIMBALO_GTEST_SOURCE}/CMakeLists.txt)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${NIMBALO_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL SYSTEM)
  # The test framework need not be fast, only quick to build.
  foreach(t gtest gtest_main gmock)
    target_compile_options(${t} PRIVATE -O1)
  endforeach()

  foreach(sub ${NIMBALO_WINE_TEST_DIRS})
    file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${sub}/*_test.cpp)
    foreach(x ${NIMBALO_WINE_TEST_EXCLUDE})
      list(REMOVE_ITEM tests ${CMAKE_SOURCE_DIR}/${x})
    endforeach()
    if(NOT tests)
      continue()
    endif()
    add_executable(test_${sub} EXCLUDE_FROM_ALL ${tests})
    # The tests' own code need only be quick to build (half the time of -O3); the code under test
    # is the core library, built exactly as shipped.
    target_compile_options(test_${sub} PRIVATE ${NIMBALO_WARNINGS} -O1)
    target_include_directories(test_${sub} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_link_libraries(test_${sub} PRIVATE nimbalo_all gtest gtest_main)
    # GoogleMock only where a test uses it: it is the slowest part of the framework to build.
    foreach(t ${tests})
      file(STRINGS ${t} uses_gmock REGEX "#include [<\"]gmock/")
      if(uses_gmock)
        target_link_libraries(test_${sub} PRIVATE gmock)
        break()
      endif()
    endforeach()
    # Under Wine the build machine's files are on drive Z:.
    target_compile_definitions(test_${sub} PRIVATE
      NIMBALO_SOURCE_DIR="Z:${CMAKE_SOURCE_DIR}" NIMBALO_BINARY_DIR="Z:${CMAKE_BINARY_DIR}")
    # Test programs report on standard output: console subsystem (the later flag wins over -mwindows).
    target_link_options(test_${sub} PRIVATE -mconsole)
  endforeach()
else()
  message(STATUS "GoogleTest sources not found in ${NIMBALO_GTEST_SOURCE}: no Windows test programs")
endif()

# replay_<input>.exe: every fuzz corpus through its target, as the native test run does.
nimbalo_fuzz_replays(wine_replays EXCLUDE_FROM_ALL)
foreach(input ${wine_replays})
  target_compile_options(replay_${input} PRIVATE -O1)
  target_link_options(replay_${input} PRIVATE -mconsole)
endforeach()

add_executable(wine_probe EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tests/wine/wine_probe.cpp)
target_compile_options(wine_probe PRIVATE ${NIMBALO_WARNINGS})
target_link_libraries(wine_probe PRIVATE nimbalo_all)
target_link_options(wine_probe PRIVATE -mconsole)
