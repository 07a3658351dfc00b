# The Windows installer (cmake --build build --target package): NSIS, with a
# Start-menu entry and the ".hrc417" file association. Included by
# packaging/CMakeLists.txt on Windows, as debian.cmake is on Linux; the
# programs' resources and Qt's deploy step are cmake/HrcWindows.cmake.
# docs/windows.md is the recipe. The Windows configurator is not built or
# tested by this project's CI.

# The installer: NSIS (https://nsis.sourceforge.io) on the path; WiX works as
# well with -DCPACK_GENERATOR=WIX. Everything in one installer: the two
# programs, Qt beside them, kavu_io.dll, the language files.
set(CPACK_GENERATOR NSIS CACHE STRING "CPack generator for Windows (NSIS or WIX)")
set(CPACK_PACKAGE_NAME "HRC417 Configurator")
set(CPACK_PACKAGE_VENDOR "HRC417 configurator developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY "HRC417 Configurator")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/packaging/copyright)
set(CPACK_COMPONENTS_ALL configurator kavu_io_runtime)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
# The Start-menu entry (program file without ".exe", then the entry's name).
set(CPACK_PACKAGE_EXECUTABLES hrc417-configurator "HRC417 Configurator")
set(CPACK_NSIS_MUI_ICON ${HRC_WINDOWS_ICON})
set(CPACK_NSIS_MUI_UNIICON ${HRC_WINDOWS_ICON})
set(CPACK_NSIS_INSTALLED_ICON_NAME "${CMAKE_INSTALL_BINDIR}\\\\hrc417-configurator.exe")
set(CPACK_NSIS_DISPLAY_NAME "HRC417 Configurator")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_URL_INFO_ABOUT "${HRC_HOMEPAGE}")
# ".hrc417" files open with the configurator (and show its icon); removed again
# by the uninstaller. SHChangeNotify makes Explorer show it at once.
set(hrc_exe "$INSTDIR\\\\${CMAKE_INSTALL_BINDIR}\\\\hrc417-configurator.exe")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
  WriteRegStr HKCR '.hrc417' '' 'HRC417.Configuration'
  WriteRegStr HKCR 'HRC417.Configuration' '' 'HRC417 configuration'
  WriteRegStr HKCR 'HRC417.Configuration\\\\DefaultIcon' '' '${hrc_exe},0'
  WriteRegStr HKCR 'HRC417.Configuration\\\\shell\\\\open\\\\command' '' '\\\"${hrc_exe}\\\" \\\"%1\\\"'
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
  DeleteRegKey HKCR '.hrc417'
  DeleteRegKey HKCR 'HRC417.Configuration'
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
")
include(CPack)
