# Registration of the configurator's Qt Test programs (included by
# tests/configurator/CMakeLists.txt).
#
# hrc_add_qt_test(<name>
#   [SOURCES <file>...]        default: <name>.cpp
#   [LIBS <target>...]         linked privately, besides Qt::Test
#   [DEFINITIONS <def>...]     compile definitions
#   [ENVIRONMENT <VAR=value>...]
#   [TIMEOUT <seconds>]
#   [LABELS <label>...])
#
# Builds the program and adds it to CTest with the environment every Qt test
# runs in: the offscreen platform, HRC_TEST_OUTPUT (where screenshots go, under
# screenshots/) set to the test's binary directory, and the LeakSanitizer
# suppressions for what the offscreen platform plugin never frees.
set(HRC_QT_TEST_LSAN_SUPPRESSIONS ${CMAKE_CURRENT_LIST_DIR}/../tests/configurator/qt-offscreen.supp)

function(hrc_add_qt_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "TIMEOUT" "SOURCES;LIBS;DEFINITIONS;ENVIRONMENT;LABELS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "hrc_add_qt_test(${name}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_SOURCES)
    set(arg_SOURCES ${name}.cpp)
  endif()
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} Qt::Test)
  if(arg_DEFINITIONS)
    target_compile_definitions(${name} PRIVATE ${arg_DEFINITIONS})
  endif()
  add_test(NAME ${name} COMMAND ${name})
  get_filename_component(suppressions ${HRC_QT_TEST_LSAN_SUPPRESSIONS} ABSOLUTE)
  set(environment QT_QPA_PLATFORM=offscreen HRC_TEST_OUTPUT=${CMAKE_CURRENT_BINARY_DIR}
    LSAN_OPTIONS=suppressions=${suppressions} ${arg_ENVIRONMENT})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${environment}")
  if(arg_TIMEOUT)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${arg_TIMEOUT})
  endif()
  if(arg_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${arg_LABELS}")
  endif()
endfunction()
