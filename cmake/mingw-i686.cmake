# Cross-compiles for 32-bit Windows with MinGW-w64 and runs the results under
# Wine. The -posix compilers are used because GoogleTest needs std::mutex and
# std::condition_variable, which GCC 12's win32 thread model lacks; every
# module links its C++ and GCC runtimes statically, so the thread library
# costs no extra DLL.
#
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
# "i686" makes the root file add -msse2 -mfpmath=sse: the same double
# arithmetic as on x86-64, not the x87 unit's excess precision.
set(CMAKE_SYSTEM_PROCESSOR i686)

set(mdl_mingw_prefix i686-w64-mingw32)
set(CMAKE_C_COMPILER ${mdl_mingw_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mdl_mingw_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${mdl_mingw_prefix}-windres)
set(CMAKE_AR ${mdl_mingw_prefix}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${mdl_mingw_prefix}-ranlib CACHE FILEPATH "")
set(CMAKE_DLLTOOL ${mdl_mingw_prefix}-dlltool CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${mdl_mingw_prefix}-objdump CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${mdl_mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Runs the test host under Wine when ctest starts it. Building the module
# itself does not need Wine.
find_program(MDL_WINE wine)
if(MDL_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${MDL_WINE})
endif()
