# Cross build for 64-bit Windows with mingw-w64 (Debian: g++-mingw-w64-x86-64-posix), tests run
# under Wine:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DTONWRIGHT_BUILD_GUI=OFF -DTONWRIGHT_BUILD_BENCH=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TONWRIGHT_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix-threads flavour, since std::thread and std::mutex need it.
find_program(TONWRIGHT_MINGW_CXX NAMES ${TONWRIGHT_MINGW_TRIPLE}-g++-posix ${TONWRIGHT_MINGW_TRIPLE}-g++
             REQUIRED)
find_program(TONWRIGHT_MINGW_CC NAMES ${TONWRIGHT_MINGW_TRIPLE}-gcc-posix ${TONWRIGHT_MINGW_TRIPLE}-gcc
             REQUIRED)
set(CMAKE_CXX_COMPILER ${TONWRIGHT_MINGW_CXX})
set(CMAKE_C_COMPILER ${TONWRIGHT_MINGW_CC})
set(CMAKE_RC_COMPILER ${TONWRIGHT_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TONWRIGHT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static, so the programs run under Wine without looking for the compiler's DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# CTest runs the test programs through Wine.
find_program(TONWRIGHT_WINE NAMES wine wine64)
if(TONWRIGHT_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TONWRIGHT_WINE})
endif()
