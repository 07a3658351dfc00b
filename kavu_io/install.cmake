# Install rules of kavu_io, in two components:
#   kavu_io_runtime  the shared library with its SONAME link (a DLL on Windows)
#   kavu_io_dev      the header, the development link / import library, the
#                    CMake package (find_package(kavu_io) -> kavu_io::kavu_io)
#                    and the pkg-config file kavu_io.pc
# Every destination is relative to CMAKE_INSTALL_PREFIX (GNUInstallDirs), so
# the tree can be installed under any prefix and the package files find the
# library relative to themselves.
include(CMakePackageConfigHelpers)

set(KAVU_IO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kavu_io)

install(TARGETS kavu_io EXPORT kavu_ioTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT kavu_io_runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT kavu_io_runtime
          NAMELINK_COMPONENT kavu_io_dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT kavu_io_dev)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/include/kavu_io.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT kavu_io_dev)

install(EXPORT kavu_ioTargets NAMESPACE kavu_io::
  DESTINATION ${KAVU_IO_CMAKE_DIR} COMPONENT kavu_io_dev)
configure_package_config_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/kavu_ioConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/kavu_ioConfig.cmake
  INSTALL_DESTINATION ${KAVU_IO_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/kavu_ioConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kavu_ioConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/kavu_ioConfigVersion.cmake
  DESTINATION ${KAVU_IO_CMAKE_DIR} COMPONENT kavu_io_dev)

# pkg-config: paths relative to the .pc file's own place (pkgconf and
# pkg-config both define pcfiledir), so a relocated tree still works.
file(RELATIVE_PATH KAVU_IO_PC_TO_PREFIX
  ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" KAVU_IO_PC_TO_PREFIX "${KAVU_IO_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/kavu_io.pc.in ${CMAKE_CURRENT_BINARY_DIR}/kavu_io.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kavu_io.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT kavu_io_dev)
