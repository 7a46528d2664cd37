# The first install rule: makes every folder the install puts files in, and
# their parents up to an existing one (the prefix itself included), each 0755.
# Left to the later rules they would come from whichever first needs them: the
# prefix and lib/ with the installer's umask (0777 under umask 0000, so another
# user could replace the program the next user starts), the rest masked by it
# (0700 under umask 0077, so no other user could start the program). mkdir -m
# gives the mode whatever the umask, without a moment of a wider one.
# Keep the list in step with the destinations in cmake/Install.cmake.
set(rm_install_dirs "${CMAKE_INSTALL_BINDIR}" "${CMAKE_INSTALL_DATADIR}/applications"
  "${CMAKE_INSTALL_MANDIR}/man1" "${CMAKE_INSTALL_DATADIR}/doc/router-monitor")
foreach(size 16 24 32 48)
  list(APPEND rm_install_dirs "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
endforeach()
set(rm_install_dests "\"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\"")
foreach(d IN LISTS rm_install_dirs)
  string(APPEND rm_install_dests " \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${d}\"")
endforeach()
if(IS_ABSOLUTE "${RM_PROGRAM_DIR}")
  string(APPEND rm_install_dests " \"\$ENV{DESTDIR}${RM_PROGRAM_DIR}\"")
else()
  string(APPEND rm_install_dests " \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${RM_PROGRAM_DIR}\"")
endif()
install(CODE "
  foreach(rm_dir ${rm_install_dests})
    set(rm_missing)
    while(NOT EXISTS \"\${rm_dir}\" AND NOT IS_SYMLINK \"\${rm_dir}\")
      list(PREPEND rm_missing \"\${rm_dir}\")
      get_filename_component(rm_dir \"\${rm_dir}\" DIRECTORY)
    endwhile()
    foreach(d IN LISTS rm_missing)
      execute_process(COMMAND mkdir -m 0755 -- \"\${d}\" RESULT_VARIABLE rc)
      if(NOT rc EQUAL 0 AND NOT IS_DIRECTORY \"\${d}\")
        message(FATAL_ERROR \"could not make \${d}\")
      endif()
    endforeach()
  endforeach()")
