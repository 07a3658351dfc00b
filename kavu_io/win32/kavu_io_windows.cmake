# Windows parts of the kavu_io DLL, included from kavu_io/CMakeLists.txt
# when building for Windows:
#   kavu_io_windows_parts(<target>)
# - exports only through the module-definition file (decorated _Name@N and
#   plain names; 64-bit builds have no @N on their internal names);
# - an import library whose symbols import the decorated names, as callers
#   built against the 32-bit DLL do;
# - the string and version resources: a Windows-1251 resource script
#   generated from the library's text table (make_rc.cmake);
# - the file is called kavu_io.dll (no "lib" prefix).

set(KAVU_WIN32_DIR ${CMAKE_CURRENT_LIST_DIR})

function(kavu_io_windows_parts target)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/win32)
  file(MAKE_DIRECTORY ${out})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KAVU_WIN32_DIR}/kavu_io.def)

  # Module-definition file of the DLL and the one dlltool makes the import
  # library from, both derived from the 32-bit form kept in the sources.
  file(READ ${KAVU_WIN32_DIR}/kavu_io.def def_text)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    string(REGEX REPLACE "= ([A-Za-z0-9_]+)@[0-9]+" "= \\1" dll_def "${def_text}")
  else()
    set(dll_def "${def_text}")
  endif()
  file(WRITE ${out}/kavu_io.def.tmp "${dll_def}")
  configure_file(${out}/kavu_io.def.tmp ${out}/kavu_io.def COPYONLY)

  # Import library: internal symbol == exported decorated name.
  set(implib_def "LIBRARY kavu_io.dll\nEXPORTS\n")
  string(REGEX MATCHALL "\n[ \t]+_[A-Za-z0-9_]+@[0-9]+" decorated "${def_text}")
  foreach(entry IN LISTS decorated)
    string(STRIP "${entry}" exported)
    string(REGEX REPLACE "^_([A-Za-z0-9_]+)@([0-9]+)$" "\\1" plain "${exported}")
    string(REGEX REPLACE "^_([A-Za-z0-9_]+)@([0-9]+)$" "\\2" bytes "${exported}")
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      string(APPEND implib_def "    ${plain} == ${exported}\n")
    else()
      string(APPEND implib_def "    ${plain}@${bytes} == ${exported}\n")
    endif()
  endforeach()
  file(WRITE ${out}/kavu_io-implib.def.tmp "${implib_def}")
  configure_file(${out}/kavu_io-implib.def.tmp ${out}/kavu_io-implib.def COPYONLY)

  # Resources: the string table comes from the library's text table.
  set(texts ${CMAKE_CURRENT_SOURCE_DIR}/src/error_texts.cpp)
  add_custom_command(
    OUTPUT ${out}/kavu_io.rc
    COMMAND ${CMAKE_COMMAND} -DTEXTS=${texts} -DTEMPLATE=${KAVU_WIN32_DIR}/kavu_io.rc.in
            -DOUTPUT=${out}/kavu_io.rc -DVERSION=${PROJECT_VERSION}
            -P ${KAVU_WIN32_DIR}/make_rc.cmake
    DEPENDS ${texts} ${KAVU_WIN32_DIR}/kavu_io.rc.in ${KAVU_WIN32_DIR}/make_rc.cmake
    COMMENT "Generating the Windows-1251 resource script of kavu_io.dll"
    VERBATIM)

  target_sources(${target} PRIVATE ${out}/kavu_io.def ${out}/kavu_io.rc)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME kavu_io)

  if(NOT HRC_MINGW_DLLTOOL)
    find_program(HRC_MINGW_DLLTOOL NAMES ${CMAKE_CXX_COMPILER_TARGET}-dlltool dlltool REQUIRED)
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(machine i386:x86-64)
  else()
    set(machine i386)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${HRC_MINGW_DLLTOOL} -m ${machine} -d ${out}/kavu_io-implib.def
            -l $<TARGET_LINKER_FILE:${target}>
    COMMENT "Import library of kavu_io.dll (decorated names)"
    VERBATIM)
endfunction()

# A program that imports the configurator's ten functions through the import
# library; the export check reads its import table.
function(kavu_io_import_check target)
  add_executable(kavu_import_check ${KAVU_WIN32_DIR}/import_check.c)
  target_link_libraries(kavu_import_check PRIVATE ${target})
endfunction()
