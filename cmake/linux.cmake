# sonvale: the Qt 6 shell over the same core.
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets)
find_package(ALSA REQUIRED)
set(CMAKE_AUTOMOC ON)

file(GLOB SONVALE_LINUX_SOURCES CONFIGURE_DEPENDS
     "${CMAKE_SOURCE_DIR}/app/qt/*.cpp" "${CMAKE_SOURCE_DIR}/app/linux/*.cpp"
     "${CMAKE_SOURCE_DIR}/intake/qt/*.cpp" "${CMAKE_SOURCE_DIR}/intake/linux/*.cpp"
     "${CMAKE_SOURCE_DIR}/playback/qt/*.cpp" "${CMAKE_SOURCE_DIR}/playback/linux/*.cpp"
     "${CMAKE_SOURCE_DIR}/spectrum/qt/*.cpp" "${CMAKE_SOURCE_DIR}/ui/qt/*.cpp" "${CMAKE_SOURCE_DIR}/ui/linux/*.cpp")
list(FILTER SONVALE_LINUX_SOURCES EXCLUDE REGEX "/app/qt/main\\.cpp$")

include(GNUInstallDirs)
# Lower case, unlike GNUInstallDirs' DOCDIR, which is named after the project.
set(SONVALE_DOC_DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/sonvale")

add_library(sonvale_qt STATIC ${SONVALE_LINUX_SOURCES})
target_link_libraries(sonvale_qt PUBLIC sonvale_core Qt6::Widgets ALSA::ALSA)
# Where an installed player finds its help page.
set_property(SOURCE "${CMAKE_SOURCE_DIR}/ui/qt/qt_user_interface.cpp" APPEND PROPERTY
    COMPILE_DEFINITIONS "SONVALE_DOC_DIR=\"${CMAKE_INSTALL_PREFIX}/${SONVALE_DOC_DESTINATION}\"")
# The window icon, every size of the Windows one, and the tray icon.
qt_add_resources(sonvale_qt sonvale_icons PREFIX "/" BASE "${CMAKE_SOURCE_DIR}/res"
    FILES "${CMAKE_SOURCE_DIR}/res/sonvale.ico" "${CMAKE_SOURCE_DIR}/res/tray.ico")

add_executable(sonvale app/qt/main.cpp)
target_link_libraries(sonvale PRIVATE sonvale_qt)

# The help page beside the executables of the build tree, so the player and
# its tests open it from there. Globbed so that a build picks it up the moment
# the page appears.
file(GLOB SONVALE_HELP_PAGE CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/res/sonvale-help.html")
if(SONVALE_HELP_PAGE)
  set(help_copy "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/sonvale-help.html")
  add_custom_command(OUTPUT "${help_copy}"
      COMMAND ${CMAKE_COMMAND} -E copy_if_different "${SONVALE_HELP_PAGE}" "${help_copy}"
      DEPENDS "${SONVALE_HELP_PAGE}" VERBATIM)
  add_custom_target(sonvale_help_page ALL DEPENDS "${help_copy}")
  add_dependencies(sonvale sonvale_help_page)
  install(FILES "${SONVALE_HELP_PAGE}" DESTINATION "${SONVALE_DOC_DESTINATION}")
endif()
install(TARGETS sonvale RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

# What a desktop and a headless box need around the executables: the menu
# entry, its icon in every size of the Windows icon, manual pages and a
# systemd user unit.
set(SONVALE_LINUX_FILES "${CMAKE_SOURCE_DIR}/packaging/linux")
install(FILES "${SONVALE_LINUX_FILES}/sonvale.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
foreach(page sonvale.1 sonvale-send.1)
  configure_file("${SONVALE_LINUX_FILES}/${page}.in" "${CMAKE_BINARY_DIR}/man/${page}" @ONLY)
  install(FILES "${CMAKE_BINARY_DIR}/man/${page}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endforeach()
install(FILES "${SONVALE_LINUX_FILES}/sonvale.service" DESTINATION lib/systemd/user)
# Only installs need the PNGs, so a build without ImageMagick still works.
find_program(SONVALE_CONVERT convert)
if(SONVALE_CONVERT)
  set(icon_root "${CMAKE_BINARY_DIR}/icons/hicolor")
  add_custom_command(OUTPUT "${icon_root}/16x16/apps/sonvale.png"
      COMMAND ${CMAKE_COMMAND} -DCONVERT=${SONVALE_CONVERT} -DICO=${CMAKE_SOURCE_DIR}/res/sonvale.ico
              -DOUT=${icon_root} -P "${CMAKE_SOURCE_DIR}/cmake/hicolor_icons.cmake"
      DEPENDS "${CMAKE_SOURCE_DIR}/res/sonvale.ico" "${CMAKE_SOURCE_DIR}/cmake/hicolor_icons.cmake" VERBATIM)
  add_custom_target(sonvale_hicolor_icons ALL DEPENDS "${icon_root}/16x16/apps/sonvale.png")
  install(DIRECTORY "${icon_root}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons")
else()
  message(STATUS "convert (ImageMagick) not found: an install would have no menu icon")
endif()
