# Installation: one program folder holding the executables, the fifteen settings
# files and the sounds (the program finds them beside itself), a launcher link in
# bin, a desktop entry and the icon in the freedesktop places, and a Debian package.

if(TARGET router-monitor)
  install(TARGETS router-monitor RUNTIME DESTINATION ${RM_PROGRAM_DIR})
endif()
if(TARGET router-monitor-scan)
  install(TARGETS router-monitor-scan RUNTIME DESTINATION ${RM_PROGRAM_DIR})
endif()
install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(CREATE_LINK \"../${RM_PROGRAM_DIR}/router-monitor\"
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/router-monitor\" SYMBOLIC)
  # The prefix is read at install time: a package installs under its own prefix.
  set(RM_EXEC \"\${CMAKE_INSTALL_PREFIX}/${RM_PROGRAM_DIR}/router-monitor\")
  configure_file(\"${PROJECT_SOURCE_DIR}/packaging/router-monitor.desktop.in\"
    \"${CMAKE_BINARY_DIR}/router-monitor.desktop\" @ONLY)
  # file(INSTALL) puts DESTDIR in front by itself.
  file(INSTALL \"${CMAKE_BINARY_DIR}/router-monitor.desktop\"
    DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\")
  if(NOT \"\$ENV{DESTDIR}\" AND EXISTS \"\${RM_EXEC}\")
    foreach(exe \"\${RM_EXEC}\" \"\${RM_EXEC}-scan\")
      execute_process(COMMAND setcap cap_net_raw+ep \"\${exe}\" RESULT_VARIABLE rc ERROR_QUIET)
      if(NOT rc EQUAL 0)
        message(STATUS \"cap_net_raw not granted to \${exe}: it uses the kernel neighbour table\")
      endif()
    endforeach()
  endif()")
foreach(size 16 24 32 48)
  if(EXISTS ${PROJECT_SOURCE_DIR}/app/icons/window-${size}.png)
    install(FILES ${PROJECT_SOURCE_DIR}/app/icons/window-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
      RENAME router-monitor.png)
  endif()
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME router-monitor)
set(CPACK_PACKAGE_CONTACT "Router Usage Monitor developers <router-monitor@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Runs a download manager only while nobody else uses the router")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin, fonts-arphic-uming, fonts-arphic-ukai, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postinst)
include(CPack)
