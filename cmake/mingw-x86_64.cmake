# Cross-builds the Windows program with Debian's mingw-w64 compilers.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
# One .exe that needs no DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
