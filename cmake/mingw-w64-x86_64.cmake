# Cross-compiling the brain for 64-bit Windows with Debian's MinGW-w64.
# The posix thread model is the default because the win32 one has no
# std::mutex/std::thread in GCC 12, and GoogleTest needs them if the tests are
# ever cross-built. Everything is linked statically: a tournament machine must
# run the .exe with nothing beside it but Windows' own DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KELMO_MINGW_PREFIX x86_64-w64-mingw32)

# A separate variable picks the variant: a -DCMAKE_CXX_COMPILER on the command
# line would be overridden by the set() below.
if(NOT DEFINED MINGW_THREAD_MODEL)
  set(MINGW_THREAD_MODEL posix)
endif()

set(CMAKE_C_COMPILER   ${KELMO_MINGW_PREFIX}-gcc-${MINGW_THREAD_MODEL})
set(CMAKE_CXX_COMPILER ${KELMO_MINGW_PREFIX}-g++-${MINGW_THREAD_MODEL})
set(CMAKE_RC_COMPILER  ${KELMO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KELMO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static also pulls winpthreads into the .exe; without it the .exe would ask
# for libgcc_s_seh-1.dll and libstdc++-6.dll, which no tournament machine has.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
