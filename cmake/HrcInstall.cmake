# Install helpers of the project (included by the top CMakeLists.txt).
#
# HRC_DATA_DIR_FROM_BIN: the program's data directory (<datadir>/hrc417)
# relative to the binary directory, e.g. "../share/hrc417"; the programs find
# their installed data through it wherever the tree is installed.
file(RELATIVE_PATH HRC_DATA_DIR_FROM_BIN
  ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/hrc417)

# hrc_install_program(<target> <installed name> <component>)
# Installs a program into the binary directory under the given name (stripped
# and without the build tree's RPATH, as install(TARGETS) does), in one of the
# packages' components: configurator (package hrc417-configurator) or sim
# (package hrc417-sim). The command-line tool, for example, needs only
#   hrc_install_program(hrc417 hrc417 configurator)
function(hrc_install_program target installed_name component)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  if(NOT output_name STREQUAL installed_name)
    install(CODE "
      set(dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
      file(RENAME \"\${dir}/${output_name}${CMAKE_EXECUTABLE_SUFFIX}\"
                  \"\${dir}/${installed_name}${CMAKE_EXECUTABLE_SUFFIX}\")
      message(STATUS \"Renamed: \${dir}/${installed_name}${CMAKE_EXECUTABLE_SUFFIX}\")"
      COMPONENT ${component})
  endif()
endfunction()
