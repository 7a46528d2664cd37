# The fifteen settings files the program ships with: "20", "1" and "255" for the
# scan period and range, every other one empty, each one line ended by CR LF.
# The build writes them beside the executable, mode 0644: the build folder is
# then a runnable program folder that holds its user's settings itself. The
# install step writes them beside the installed program, where, for a program
# folder the user cannot write, they are the defaults the program copies into
# the user's own settings folder on first start. Neither ever replaces
# a file that is already there: it holds what a user saved.
#
# Included by the project, this file adds those two steps; run as a script
# (cmake -DRM_DIR=<folder> -P SettingsFiles.cmake, also from the install
# script) it writes the files missing from RM_DIR.

function(rm_write_missing_settings_files dir)
  file(MAKE_DIRECTORY "${dir}")
  foreach(n 1 2 3 4 5 10 11 12 13 14 15 16 17 18 19)
    set(value "")
    if(n EQUAL 1)
      set(value "20")
    elseif(n EQUAL 2)
      set(value "1")
    elseif(n EQUAL 3)
      set(value "255")
    endif()
    set(path "${dir}/savedata${n}.ini")
    if(EXISTS "${path}" OR IS_SYMLINK "${path}")
      if(RM_VERBOSE)
        message(STATUS "Kept: ${path}")
      endif()
    else()
      if(RM_VERBOSE)
        message(STATUS "Installing: ${path}")
      endif()
      file(WRITE "${path}" "${value}\r\n")
      # Whatever the umask: the program refuses settings files that group or
      # others may write.
      file(CHMOD "${path}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    endif()
  endforeach()
endfunction()

# The install script sets RM_DIR; CPack runs that script without script mode.
if(CMAKE_SCRIPT_MODE_FILE OR DEFINED RM_DIR)
  if(NOT DEFINED RM_DIR)
    message(FATAL_ERROR "SettingsFiles.cmake: set RM_DIR to the program folder")
  endif()
  rm_write_missing_settings_files("${RM_DIR}")
else()
  add_custom_target(rm_settings_files ALL
    COMMAND ${CMAKE_COMMAND} -DRM_DIR=${CMAKE_BINARY_DIR} -P ${CMAKE_CURRENT_LIST_FILE}
    COMMENT "Placing the settings files the program ships with in the program folder"
    VERBATIM)
  if(TARGET router-monitor)
    add_dependencies(router-monitor rm_settings_files)
  endif()
  if(IS_ABSOLUTE "${RM_PROGRAM_DIR}")
    set(rm_settings_dest "\$ENV{DESTDIR}${RM_PROGRAM_DIR}")
  else()
    set(rm_settings_dest "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${RM_PROGRAM_DIR}")
  endif()
  # install(FILES) would overwrite what the user saved: write only missing files.
  install(CODE "
    set(RM_DIR \"${rm_settings_dest}\")
    set(RM_VERBOSE ON)
    include(\"${CMAKE_CURRENT_LIST_FILE}\")")
endif()
