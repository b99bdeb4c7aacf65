# Cross-building the Windows program on Linux with mingw-w64 (posix threads), statically linked so
# the executables need no DLL beyond those Windows ships; tests run through Wine when it is present.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARNWICK_MINGW_PREFIX x86_64-w64-mingw32)
# The posix flavour: std::thread and std::mutex need it with this compiler.
set(CMAKE_C_COMPILER ${TARNWICK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARNWICK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TARNWICK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARNWICK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread linked in: nothing to ship beside the .exe files.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Cross-built tests (and gtest_discover_tests) run through Wine; without it they are built only.
find_program(TARNWICK_WINE NAMES wine wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TARNWICK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARNWICK_WINE})
endif()

# No packaged GoogleTest exists for mingw: find_package(GTest) is pointed at a config that builds
# it from source, unless the caller names a GoogleTest of their own.
if(NOT DEFINED GTest_DIR AND EXISTS ${CMAKE_CURRENT_LIST_DIR}/../tests/win32/gtest-from-source/GTestConfig.cmake)
  get_filename_component(GTest_DIR ${CMAKE_CURRENT_LIST_DIR}/../tests/win32/gtest-from-source ABSOLUTE)
  set(GTest_DIR ${GTest_DIR} CACHE PATH "GoogleTest package for the cross build")
endif()
