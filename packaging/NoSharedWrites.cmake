# Run by CPack on the staged tree before it is packed: takes the write bit for
# group and others off every file and folder, since the build's umask decides
# the modes of what the install step writes or creates.
foreach(dir IN ITEMS "${CPACK_TEMPORARY_INSTALL_DIRECTORY}" "${CPACK_TEMPORARY_DIRECTORY}")
  if(dir AND IS_DIRECTORY "${dir}")
    execute_process(COMMAND chmod -R go-w "${dir}" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "could not take group and other write off ${dir}")
    endif()
  endif()
endforeach()
