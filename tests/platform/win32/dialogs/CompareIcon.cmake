# cmake -DGENERATOR=... -DOUTPUT=... -DCOMMITTED=... -P CompareIcon.cmake
# Runs the icon generator and fails unless its output equals the committed icon.
execute_process(COMMAND ${GENERATOR} ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the icon generator failed: ${result}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${COMMITTED} RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "${COMMITTED} differs from the generator's output ${OUTPUT}; "
                      "rebuild it with the lumenfall-icon target")
endif()
