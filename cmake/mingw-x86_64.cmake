# Cross toolchain: MinGW-w64 for 64-bit Windows. It builds the 64-bit twin of
# every Windows program that a test runs, for machines that cannot run 32-bit
# code; the twin is never packed or shipped. Its programs run under wine64.
set(VLX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;--win64")
