# Regenerates one committed file with the host tool and fails unless the two are
# byte-identical: the committed copy must be exactly what the tool makes.
#   cmake -DTOOL=... -DKIND=... -DCOMMITTED=... -DOUTPUT=... -P RegeneratedMatches.cmake
get_filename_component(output_dir "${OUTPUT}" DIRECTORY)
file(REMOVE "${OUTPUT}")
file(MAKE_DIRECTORY "${output_dir}")
execute_process(COMMAND "${TOOL}" "${KIND}" "${OUTPUT}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "make_assets ${KIND} failed: ${result}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${OUTPUT}" "${COMMITTED}" RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
  message(FATAL_ERROR "${COMMITTED} differs from what make_assets ${KIND} writes; run the update_assets target")
endif()
message(STATUS "${COMMITTED} matches make_assets ${KIND}")
