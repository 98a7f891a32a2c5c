# Run by cpack once it has made the zip: packs the same staged files again, in name order
# and all dated by the last commit (SOURCE_DATE_EPOCH when set), so that one commit always
# gives the same zip, whatever folder, file system or hour it was built in. Outside a git
# checkout, with no SOURCE_DATE_EPOCH, cpack's own zip is kept.
set(commit_time "$ENV{SOURCE_DATE_EPOCH}")
if(commit_time STREQUAL "")
  find_package(Git QUIET)
  if(GIT_EXECUTABLE)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${CPACK_ZORPA_SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE git_failed ERROR_QUIET)
    if(git_failed)
      set(commit_time "")
    endif()
  endif()
endif()
if(NOT commit_time MATCHES "^[0-9]+$")
  message(STATUS "No commit time: ${CPACK_PACKAGE_FILES} keeps the files' own times")
  return()
endif()

find_program(ZIP_EXECUTABLE zip)
find_program(TOUCH_EXECUTABLE touch)
if(NOT ZIP_EXECUTABLE OR NOT TOUCH_EXECUTABLE)
  message(STATUS "No zip or touch: ${CPACK_PACKAGE_FILES} keeps the files' own times and order")
  return()
endif()

# file(GLOB) lists in name order; only files, so the zip holds no folder entries.
file(GLOB_RECURSE entries LIST_DIRECTORIES false RELATIVE ${CPACK_TOPLEVEL_DIRECTORY}
     ${CPACK_TEMPORARY_DIRECTORY}/*)
# A zip entry's date is in local time: the same for every builder in UTC. zip -X leaves out
# the owner and the access and change times, which no builder can fix.
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
                        ${TOUCH_EXECUTABLE} -d @${commit_time} -- ${entries}
                WORKING_DIRECTORY ${CPACK_TOPLEVEL_DIRECTORY}
                RESULT_VARIABLE touch_failed)
if(touch_failed)
  message(FATAL_ERROR "Cannot date the staged files of ${CPACK_PACKAGE_FILES}")
endif()
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
  file(REMOVE ${zip})
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
                          ${ZIP_EXECUTABLE} -X -q ${zip} -- ${entries}
                  WORKING_DIRECTORY ${CPACK_TOPLEVEL_DIRECTORY}
                  RESULT_VARIABLE zip_failed)
  if(zip_failed)
    message(FATAL_ERROR "Cannot repack ${zip}")
  endif()
endforeach()
