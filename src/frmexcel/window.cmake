# The window (Qt Widgets) on top of the core. The library is what the GUI
# tests drive; the executable only starts it.
find_package(Qt6 REQUIRED COMPONENTS Widgets)

add_library(excel2dbf_window STATIC frmexcel.cpp frmexcel.h)
set_target_properties(excel2dbf_window PROPERTIES AUTOMOC ON)
target_link_libraries(excel2dbf_window PUBLIC excel2dbf_core e2d_dialogs frmicon Qt6::Widgets)

add_executable(excel2dbf main.cpp)
target_link_libraries(excel2dbf PRIVATE excel2dbf_window)
if(WIN32)
  target_sources(excel2dbf PRIVATE ${PROJECT_SOURCE_DIR}/res/excel2dbf.rc)
  set_target_properties(excel2dbf PROPERTIES WIN32_EXECUTABLE ON)
endif()

include(GNUInstallDirs)
install(TARGETS excel2dbf RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(size 16 32)
  install(FILES ${PROJECT_SOURCE_DIR}/res/excel2dbf-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME excel2dbf.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/res/excel2dbf.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
