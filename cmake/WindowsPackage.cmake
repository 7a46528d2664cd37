# `cmake --build DIR --target package` makes DIR/router-monitor-<version>-win64.zip
# with one folder, router-monitor/, that runs as it is unpacked: the programs
# (stripped), savedata*.ini with the shipped defaults, and the sounds.
set(RM_ZIP_NAME router-monitor-${PROJECT_VERSION}-win64.zip)
set(RM_ZIP_STAGE ${CMAKE_BINARY_DIR}/zip)
set(RM_ZIP_DIR ${RM_ZIP_STAGE}/router-monitor)
set(RM_WIN_SOUNDS ${PROJECT_SOURCE_DIR}/resources/sounds/警告.wav
  ${PROJECT_SOURCE_DIR}/resources/sounds/安全.wav)
find_program(RM_MINGW_STRIP NAMES ${RM_MINGW_TRIPLE}-strip x86_64-w64-mingw32-strip REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${RM_ZIP_NAME}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${RM_ZIP_STAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${RM_ZIP_DIR}
  COMMAND ${RM_MINGW_STRIP} -o ${RM_ZIP_DIR}/router-monitor.exe $<TARGET_FILE:router-monitor>
  COMMAND ${RM_MINGW_STRIP} -o ${RM_ZIP_DIR}/router-monitor-scan.exe
    $<TARGET_FILE:router-monitor-scan>
  COMMAND ${CMAKE_COMMAND} -DRM_DIR=${RM_ZIP_DIR} -P ${PROJECT_SOURCE_DIR}/cmake/SettingsFiles.cmake
  COMMAND ${CMAKE_COMMAND} -E copy ${RM_WIN_SOUNDS} ${RM_ZIP_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE ${RM_ZIP_DIR}/LICENSE.txt
  COMMAND ${CMAKE_COMMAND} -E rm -f ${CMAKE_BINARY_DIR}/${RM_ZIP_NAME}
  COMMAND ${CMAKE_COMMAND} -E chdir ${RM_ZIP_STAGE}
    ${CMAKE_COMMAND} -E tar cf ${CMAKE_BINARY_DIR}/${RM_ZIP_NAME} --format=zip router-monitor
  DEPENDS router-monitor router-monitor-scan ${RM_WIN_SOUNDS} ${PROJECT_SOURCE_DIR}/LICENSE
    ${PROJECT_SOURCE_DIR}/cmake/SettingsFiles.cmake
  COMMENT "Packing ${RM_ZIP_NAME}"
  VERBATIM)
add_custom_target(package DEPENDS ${CMAKE_BINARY_DIR}/${RM_ZIP_NAME})
