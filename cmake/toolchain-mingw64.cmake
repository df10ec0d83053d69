# Cross build of nimbalo.exe for Windows x64 with Debian's mingw-w64 (posix thread model, which
# std::thread, std::mutex and libgomp need). Everything is linked statically, so the executable
# depends on system DLLs only and runs from any folder or under Wine without a runtime beside it.
#
#   cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NIMBALO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${NIMBALO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NIMBALO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${NIMBALO_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${NIMBALO_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${NIMBALO_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

# Look for libraries and headers of the target only, never the build machine's /usr/include:
# a host header that happens to compile would hide a missing Windows dependency.
set(CMAKE_FIND_ROOT_PATH /usr/${NIMBALO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)

# Target Windows 10 APIs (PerMonitorV2, long paths) and keep windows.h lean.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)

# Static C and C++ runtimes, winpthread and libgomp (-static makes the linker prefer the .a files).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The GUI subsystem: no console of our own; console commands attach to the parent's.
set(CMAKE_EXE_LINKER_FLAGS_INIT "${CMAKE_EXE_LINKER_FLAGS_INIT} -mwindows")

# find_package(OpenMP) would pick libgomp.dll.a, which makes the executable need libgomp-1.dll at
# run time; point it at the static archive the compiler ships instead.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgomp.a
                OUTPUT_VARIABLE NIMBALO_LIBGOMP OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT IS_ABSOLUTE "${NIMBALO_LIBGOMP}")
  message(FATAL_ERROR "${CMAKE_CXX_COMPILER} has no static libgomp.a (package gcc-mingw-w64-x86-64-posix)")
endif()
set(OpenMP_gomp_LIBRARY "${NIMBALO_LIBGOMP}" CACHE FILEPATH "static libgomp of the cross compiler" FORCE)
