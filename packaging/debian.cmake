# CPack: one Debian package per install component.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME hrc417)
set(CPACK_PACKAGE_VENDOR "HRC417 configurator developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${HRC_MAINTAINER}")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${HRC_PACKAGE_COMPONENTS})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${HRC_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${HRC_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Dependencies from the binaries; the configurator's own library is found in
# the build tree and its dependency comes from the component relation below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/kavu_io)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_KAVU_IO_RUNTIME_PACKAGE_NAME libkavu-io1)
set(CPACK_DEBIAN_KAVU_IO_RUNTIME_PACKAGE_SECTION libs)
# A shlibs file (only the library package has a shared object) and the
# ldconfig trigger; the ldconfig calls CPack adds to postinst/postrm as well
# are redundant but harmless.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/libkavu-io1.triggers ${CMAKE_CURRENT_BINARY_DIR}/triggers COPYONLY)
set(CPACK_DEBIAN_KAVU_IO_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/triggers)
set(CPACK_DEBIAN_KAVU_IO_DEV_PACKAGE_NAME libkavu-io-dev)
set(CPACK_DEBIAN_KAVU_IO_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_CONFIGURATOR_PACKAGE_NAME hrc417-configurator)
set(CPACK_DEBIAN_CONFIGURATOR_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_SIM_PACKAGE_NAME hrc417-sim)
set(CPACK_DEBIAN_SIM_PACKAGE_SECTION electronics)

include(CPack)

cpack_add_component(kavu_io_runtime
  DISPLAY_NAME "kavu_io library"
  DESCRIPTION "Kavu serial-line protocol library\n\
kavu_io exchanges the frames of the Kavu protocol with HRC417 heating\n\
controllers over RS-232 and RS-485 lines: typed reads and writes of device\n\
parameters, raw exchanges and the error texts of the devices.\n\
.\n\
This package holds the shared library.")
cpack_add_component(kavu_io_dev
  DISPLAY_NAME "kavu_io development files"
  DEPENDS kavu_io_runtime
  DESCRIPTION "Kavu serial-line protocol library - development files\n\
kavu_io exchanges the frames of the Kavu protocol with HRC417 heating\n\
controllers over RS-232 and RS-485 lines.\n\
.\n\
This package holds the C header, the CMake package (find_package(kavu_io),\n\
target kavu_io::kavu_io) and the pkg-config file kavu_io.pc.")
cpack_add_component(configurator
  DISPLAY_NAME "HRC417 configurator"
  DEPENDS kavu_io_runtime
  DESCRIPTION "configurator for HRC417 heating controllers\n\
Reads every setting of an HRC417 heating controller over a serial line,\n\
shows them as a tree with an editor for each kind of value and writes back\n\
all settings, a branch or only the changed ones. A wizard leads through the\n\
first set-up of an installation; polled values can be logged to a file.\n\
.\n\
The package brings a desktop entry, help in Russian and English, and a udev\n\
rule that lets the logged-in user open common USB-serial adapters (FTDI,\n\
CP210x, CH340, PL2303) and keeps ModemManager off them.")
cpack_add_component(sim
  DISPLAY_NAME "HRC417 simulator"
  DESCRIPTION "simulated HRC417 heating controller\n\
hrc417-sim answers the Kavu protocol like an HRC417 controller on a\n\
pseudo-terminal or a serial device: for trying the configurator without\n\
hardware, for tests and for training. Faults of the line can be injected.")
