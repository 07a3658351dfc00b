# Cross-build for Windows (x86_64) with Debian's mingw-w64:
#   cmake -S . -B build-win-x86_64 -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake
# The posix thread model of the compiler is preferred: it has std::thread,
# which the library's tests use. Programs are linked statically against the
# compiler's runtime, so the DLL and the test programs need no mingw DLLs
# beside them (only system DLLs of Windows).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(HRC_MINGW_TRIPLET x86_64-w64-mingw32)

foreach(lang C CXX)
  if(lang STREQUAL "C")
    set(driver gcc)
  else()
    set(driver g++)
  endif()
  find_program(HRC_MINGW_${lang}_COMPILER
    NAMES ${HRC_MINGW_TRIPLET}-${driver}-posix ${HRC_MINGW_TRIPLET}-${driver}
    REQUIRED)
  set(CMAKE_${lang}_COMPILER ${HRC_MINGW_${lang}_COMPILER})
endforeach()
find_program(CMAKE_RC_COMPILER NAMES ${HRC_MINGW_TRIPLET}-windres REQUIRED)
find_program(HRC_MINGW_DLLTOOL NAMES ${HRC_MINGW_TRIPLET}-dlltool REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${HRC_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: no libgcc_s/libstdc++/libwinpthread DLLs to ship.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Tests run under Wine from CTest.
find_program(HRC_WINE NAMES wine wine64)
if(HRC_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${HRC_WINE})
endif()
