# The Qt the configurator builds with: Qt 5.15 (the default, as the Debian 12
# packages use) or Qt 6 with -DHRC_QT_MAJOR=6. The build names Qt's targets
# without the version (Qt::Core, Qt::Widgets, ...), which both provide, and
# QCustomPlot through hrc_qcustomplot, whichever build of it fits the Qt.
#
#   HRC_QT_MAJOR   5 or 6
set(HRC_QT_MAJOR 5 CACHE STRING "Qt major version to build the configurator with (5 or 6)")
set_property(CACHE HRC_QT_MAJOR PROPERTY STRINGS 5 6)

set(hrc_qt_components Core Gui Widgets Xml SerialPort PrintSupport Test)
if(HRC_QT_MAJOR STREQUAL "6")
  find_package(Qt6 6.2 REQUIRED COMPONENTS ${hrc_qt_components})
  find_package(QCustomPlotQt6 REQUIRED)
  set(hrc_qcustomplot_target QCustomPlotQt6::QCustomPlotQt6)
elseif(HRC_QT_MAJOR STREQUAL "5")
  find_package(Qt5 5.15 REQUIRED COMPONENTS ${hrc_qt_components})
  find_package(QCustomPlot REQUIRED)
  set(hrc_qcustomplot_target QCustomPlot::QCustomPlot)
else()
  message(FATAL_ERROR "HRC_QT_MAJOR is ${HRC_QT_MAJOR}; it must be 5 or 6")
endif()
message(STATUS "Configurator with Qt ${HRC_QT_MAJOR}")

add_library(hrc_qcustomplot INTERFACE)
target_link_libraries(hrc_qcustomplot INTERFACE ${hrc_qcustomplot_target} Qt::Widgets Qt::PrintSupport)
