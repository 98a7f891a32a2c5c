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

# string(TIMESTAMP) takes its time from SOURCE_DATE_EPOCH.
set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
string(TIMESTAMP entry_time "%Y-%m-%d %H:%M:%S UTC" UTC)

# file(GLOB) lists in name order; only files, so the zip holds no folder entries.
file(GLOB_RECURSE entries LIST_DIRECTORIES false RELATIVE ${CPACK_TOPLEVEL_DIRECTORY}
     ${CPACK_TEMPORARY_DIRECTORY}/*)
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
  file(REMOVE ${zip})
  # A zip entry's main date is in local time: the same for every builder in UTC.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
                          ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip
                          "--mtime=${entry_time}" -- ${entries}
                  WORKING_DIRECTORY ${CPACK_TOPLEVEL_DIRECTORY}
                  RESULT_VARIABLE tar_failed)
  if(tar_failed)
    message(FATAL_ERROR "Cannot repack ${zip}")
  endif()
endforeach()
