# `cmake --build DIR --target installer` makes DIR/router-monitor-<version>-setup.exe,
# the NSIS installer (packaging/windows/router-monitor.nsi) of the same files
# the zip holds, packed from the zip's folder so that the two never differ.
find_program(RM_MAKENSIS makensis REQUIRED)
set(RM_SETUP_NAME router-monitor-${PROJECT_VERSION}-setup.exe)
set(RM_NSIS_SCRIPT ${PROJECT_SOURCE_DIR}/packaging/windows/router-monitor.nsi)
set(RM_SETUP_ICON ${CMAKE_BINARY_DIR}/gui/win32/icons/window.ico)
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE rm_copyright REGEX "^Copyright " LIMIT_COUNT 1)
# The licence page wraps lines itself: the file's own breaks inside a paragraph
# would cut every line short there.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE rm_licence)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
string(REGEX REPLACE "([^\n])\n([^\n])" "\\1 \\2" rm_licence "${rm_licence}")
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/LICENSE-page.txt CONTENT "${rm_licence}" @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${RM_SETUP_NAME}
  COMMAND ${RM_MAKENSIS} -V2 -WX -INPUTCHARSET UTF8
    -DVERSION=${PROJECT_VERSION} -DSTAGE=${RM_ZIP_DIR} -DICON=${RM_SETUP_ICON}
    -DLICENSE=${CMAKE_BINARY_DIR}/LICENSE-page.txt "-DCOPYRIGHT=${rm_copyright}"
    -DOUTFILE=${CMAKE_BINARY_DIR}/${RM_SETUP_NAME} ${RM_NSIS_SCRIPT}
  DEPENDS ${CMAKE_BINARY_DIR}/${RM_ZIP_NAME} ${RM_NSIS_SCRIPT} ${CMAKE_BINARY_DIR}/LICENSE-page.txt
    ${RM_SETUP_ICON} rm_win32_icons
  COMMENT "Making ${RM_SETUP_NAME}"
  VERBATIM)
add_custom_target(installer DEPENDS ${CMAKE_BINARY_DIR}/${RM_SETUP_NAME})
