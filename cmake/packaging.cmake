# The installed layout, as the output folder has it, and the two packages
# CPack makes of it (tools/package.sh): a per-user NSIS installer from
# NSIS.template.in beside this file, and a portable ZIP.

# Import libraries stay behind: nothing installed links against them.
install(TARGETS korvex flutter_windows ${KORVEX_PLUGIN_LIBRARIES}
  RUNTIME DESTINATION .
  ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)
install(TARGETS korvex_app
  RUNTIME DESTINATION data
  ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)
install(FILES ${KORVEX_DATA_DIR}/icudtl.dat DESTINATION data)
install(DIRECTORY ${KORVEX_DATA_DIR}/flutter_assets DESTINATION data)

set(CPACK_PACKAGE_NAME Korvex)
set(CPACK_PACKAGE_VENDOR Korvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME korvex-${PROJECT_VERSION}-win64)
set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_STRIP_FILES ON)
set(CPACK_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
set(CPACK_NSIS_MUI_ICON ${CMAKE_SOURCE_DIR}/runner/resources/app_icon.ico)
include(CPack)
