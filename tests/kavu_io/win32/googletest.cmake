# GoogleTest for a Windows cross-build, compiled from Debian's sources in
# /usr/src/googletest (the distribution's libraries are for Linux only).
# Provides GTest::gtest, GTest::gtest_main, GTest::gmock, GTest::gmock_main.
if(TARGET GTest::gtest_main)
  return()
endif()
set(HRC_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for cross-builds")
if(NOT EXISTS ${HRC_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${HRC_GOOGLETEST_SOURCE} (package googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${HRC_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(lib gtest gtest_main gmock gmock_main)
  # Its own sources are not held to this project's warning flags.
  target_compile_options(${lib} PRIVATE -w)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()
