# Installation: one program folder holding the executables, the fifteen settings
# files and the sounds (the program finds them beside itself), launcher links in
# bin, a desktop entry, the icon, manual pages and the copyright in the
# freedesktop and Debian places, and a Debian package.
#
# Raw ARP is the job of the small helper router-monitor-arp alone: it is the only
# file that ever carries cap_net_raw. The window loads a GUI toolkit and the scan
# command parses its arguments; neither gets a capability.

# Directories the install creates are 0755 whatever the umask of whoever builds.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

foreach(exe router-monitor router-monitor-scan router-monitor-arp)
  if(TARGET ${exe})
    install(TARGETS ${exe} RUNTIME DESTINATION ${RM_PROGRAM_DIR})
    # Relocations resolved at start and then read-only: the helper runs with a
    # capability, the others read from the network and the X server.
    target_link_options(${exe} PRIVATE LINKER:-z,relro,-z,now)
  endif()
endforeach()

install(CODE "
  # The links are made in the build folder and installed from there, so that
  # bin, when the install creates it, gets the default directory modes. They are
  # the same for every prefix; an install running beside this one (a package
  # being built) may have made them already.
  set(links)
  file(MAKE_DIRECTORY \"${CMAKE_BINARY_DIR}/bin-links\")
  foreach(exe router-monitor router-monitor-scan)
    set(link \"${CMAKE_BINARY_DIR}/bin-links/\${exe}\")
    if(NOT IS_SYMLINK \"\${link}\")
      file(CREATE_LINK \"../${RM_PROGRAM_DIR}/\${exe}\" \"\${link}\" SYMBOLIC RESULT ignored)
    endif()
    list(APPEND links \"\${link}\")
  endforeach()
  file(INSTALL \${links} DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  # The prefix is read at install time: a package installs under its own prefix.
  set(RM_DIR \"\${CMAKE_INSTALL_PREFIX}/${RM_PROGRAM_DIR}\")
  set(RM_EXEC \"\${RM_DIR}/router-monitor\")
  # One entry per destination, so installs running at once do not swap them.
  string(MD5 dest \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  set(entry \"${CMAKE_BINARY_DIR}/desktop-entries/\${dest}/router-monitor.desktop\")
  configure_file(\"${PROJECT_SOURCE_DIR}/packaging/router-monitor.desktop.in\" \"\${entry}\" @ONLY)
  # file(INSTALL) puts DESTDIR in front by itself.
  file(INSTALL \"\${entry}\"
    DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\")
  # The settings step makes the program folder with the installer's umask, and
  # files kept from an earlier install keep their modes; whoever can write them
  # steers the monitor (savedata5.ini names the program it starts).
  file(GLOB settings \"\$ENV{DESTDIR}\${RM_DIR}/savedata*.ini\")
  foreach(f \"\$ENV{DESTDIR}\${RM_DIR}\" \${settings})
    if(NOT IS_SYMLINK \"\${f}\")
      execute_process(COMMAND chmod go-w \"\${f}\")
    endif()
  endforeach()
  # A package sets capabilities in its postinst (dpkg cannot carry them).
  if(NOT \"\$ENV{DESTDIR}\" AND EXISTS \"\${RM_EXEC}\")
    foreach(exe \"\${RM_EXEC}\" \"\${RM_EXEC}-scan\")
      execute_process(COMMAND getcap \"\${exe}\" OUTPUT_VARIABLE held ERROR_QUIET)
      if(held)
        execute_process(COMMAND setcap -r \"\${exe}\" ERROR_QUIET)
      endif()
    endforeach()
    if(EXISTS \"\${RM_EXEC}-arp\")
      execute_process(COMMAND setcap cap_net_raw+ep \"\${RM_EXEC}-arp\"
        RESULT_VARIABLE rc ERROR_QUIET)
      if(NOT rc EQUAL 0)
        message(STATUS \"cap_net_raw not granted to \${RM_EXEC}-arp: the monitor uses the kernel neighbour table\")
      endif()
    endif()
  endif()")
foreach(size 16 24 32 48)
  if(EXISTS ${PROJECT_SOURCE_DIR}/gui/qt/icons/window-${size}.png)
    install(FILES ${PROJECT_SOURCE_DIR}/gui/qt/icons/window-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
      RENAME router-monitor.png)
  endif()
endforeach()

# Manual pages and the Debian changelog go compressed without name or time
# stamp (gzip -n), so that a package built twice is the same.
set(rm_gzipped)
foreach(src man/router-monitor.1 man/router-monitor-scan.1 changelog.Debian)
  get_filename_component(name ${src} NAME)
  set(out ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${PROJECT_SOURCE_DIR}/packaging/${src} ${out}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${src}
    COMMENT "Compressing ${name}"
    VERBATIM)
  list(APPEND rm_gzipped ${out})
endforeach()
add_custom_target(rm_package_docs ALL DEPENDS ${rm_gzipped})
install(FILES ${CMAKE_BINARY_DIR}/packaging/router-monitor.1.gz
  ${CMAKE_BINARY_DIR}/packaging/router-monitor-scan.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
  ${PROJECT_SOURCE_DIR}/packaging/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/router-monitor)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME router-monitor)
set(CPACK_PACKAGE_CONTACT
  "Router Usage Monitor developers <router-monitor@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "runs a download manager only while nobody else uses the router")
# Each line of the extended description is indented by CPack.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"A desktop monitor for a home network shared by several people. It sweeps a
range of the local network by ARP at a set period and counts the other
computers present. While others use the line it plays a warning, shows a red
tray icon and closes the download manager's windows; when the network is free
it starts the download manager again, minimised.
.
Raw ARP is sent by a small helper that only members of the group
router-monitor may run; other users get the kernel's neighbour table.")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "adduser, libcap2-bin, fonts-arphic-uming, fonts-arphic-ukai, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Debug information stays out of the package.
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
# Nothing in the package may be writable by group or others, whatever the umask
# of the build: such a file would let one user steer another's monitor.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/NoSharedWrites.cmake)
include(CPack)
