# Shared part of the MinGW-w64 toolchain files: the posix thread model
# (GoogleTest needs std::mutex), everything linked statically so the programs
# run in any Wine prefix without the MinGW runtime DLLs. The including file
# sets VLX_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VLX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VLX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VLX_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VLX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
