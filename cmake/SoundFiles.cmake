# The two sounds of the program folder: copied beside the executable at build
# time (the build folder is a runnable program folder) and installed with it.
set(RM_SOUND_FILES
  ${PROJECT_SOURCE_DIR}/resources/sounds/警告.wav
  ${PROJECT_SOURCE_DIR}/resources/sounds/安全.wav)
set(rm_sound_outputs)
foreach(src IN LISTS RM_SOUND_FILES)
  get_filename_component(name ${src} NAME)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${name}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${src} ${CMAKE_BINARY_DIR}/${name}
    DEPENDS ${src}
    COMMENT "Placing ${name} in the program folder")
  list(APPEND rm_sound_outputs ${CMAKE_BINARY_DIR}/${name})
endforeach()
add_custom_target(rm_sound_files ALL DEPENDS ${rm_sound_outputs})
install(FILES ${RM_SOUND_FILES} DESTINATION ${RM_PROGRAM_DIR})
