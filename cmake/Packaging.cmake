# The release zip of a Windows build: the two programs, the lock screen's clip and the notes
# for the site, side by side in one folder. Nothing else of the build is installed.
set(ZORPA_SITE_NOTES SITE.txt)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ZORPA_PACKAGE_ARCH win64)
else()
  set(ZORPA_PACKAGE_ARCH win32)
endif()

# CRLF: older Notepad shows a file with bare line feeds as one long line.
configure_file(${PROJECT_SOURCE_DIR}/packaging/SITE.txt.in
               ${CMAKE_BINARY_DIR}/packaging/${ZORPA_SITE_NOTES} @ONLY NEWLINE_STYLE CRLF)

install(TARGETS ZORPA Zurozoz RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/Zurozoz/res/Drillrle.avi
              ${CMAKE_BINARY_DIR}/packaging/${ZORPA_SITE_NOTES}
        DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(ZORPA_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${ZORPA_PACKAGE_ARCH})
set(CPACK_PACKAGE_FILE_NAME ${ZORPA_PACKAGE_FILE_NAME})
# The zip lands in the build tree whatever folder cpack is started from.
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
# The same zip from the same commit: entries in name order, dated by the last commit.
set(CPACK_ZORPA_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/ReproducibleZip.cmake)
include(CPack)
