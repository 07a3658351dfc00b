# The Windows programs' build and install steps (included by the top
# CMakeLists.txt on every system, so that a Linux configure reads them too;
# they act only when building for Windows): version resource and icon, and
# Qt's DLLs and plug-ins beside the installed programs. The installer is
# packaging/windows.cmake; docs/windows.md is the recipe. The Windows
# configurator is not built or tested by this project's CI.

set(HRC_WINDOWS_ICON ${PROJECT_SOURCE_DIR}/resources/icons/hrc417-configurator.ico)

# hrc_windows_program(<target> <installed name> <description>)
# Gives a program its installed name as its file name (so that Qt's deploy
# step finds it under that name), the version resource and the icon.
function(hrc_windows_program target installed_name description)
  if(NOT WIN32)
    return()
  endif()
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${installed_name})
  set(HRC_RC_FILE_NAME ${installed_name}.exe)
  set(HRC_RC_DESCRIPTION "${description}")
  set(HRC_RC_ICON ${HRC_WINDOWS_ICON})
  set(CPACK_PACKAGE_VENDOR "HRC417 configurator developers")
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/version.rc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
endfunction()

# hrc_windows_deploy(<target> <component>)
# At install, puts the Qt DLLs, plug-ins (platforms, styles, imageformats,
# iconengines) and translations the program needs beside it: Qt 6's
# qt_generate_deploy_app_script, or windeployqt for Qt 5.
function(hrc_windows_deploy target component)
  if(NOT WIN32)
    return()
  endif()
  if(HRC_QT_MAJOR STREQUAL "6")
    qt_generate_deploy_app_script(TARGET ${target} OUTPUT_SCRIPT deploy_script NO_UNSUPPORTED_PLATFORM_ERROR)
    install(SCRIPT ${deploy_script} COMPONENT ${component})
  else()
    get_target_property(qmake Qt5::qmake IMPORTED_LOCATION)
    get_filename_component(qt_bin ${qmake} DIRECTORY)
    find_program(HRC_WINDEPLOYQT windeployqt HINTS ${qt_bin} REQUIRED)
    install(CODE "
      execute_process(COMMAND \"${HRC_WINDEPLOYQT}\" --no-compiler-runtime --no-quick-import
                              \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${target}>\"
                      RESULT_VARIABLE status)
      if(NOT status EQUAL 0)
        message(FATAL_ERROR \"windeployqt failed for $<TARGET_FILE_NAME:${target}>\")
      endif()" COMPONENT ${component})
  endif()
  # The compiler's runtime (MSVC's or mingw's) goes beside the programs too.
  set(CMAKE_INSTALL_SYSTEM_RUNTIME_COMPONENT ${component})
  set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION ${CMAKE_INSTALL_BINDIR})
  include(InstallRequiredSystemLibraries)
endfunction()
