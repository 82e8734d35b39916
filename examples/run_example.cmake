# Runs the example host on the library, writes its table to OUT and checks it
# with CHECK (awk): every model's operating point, save and restore, and every
# point of its Id-Vd family.
execute_process(COMMAND ${EXAMPLE} ${LIB} OUTPUT_FILE ${OUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(READ ${OUT} table)
  message(FATAL_ERROR "the example host failed (${status}):\n${table}")
endif()
execute_process(COMMAND awk -f ${CHECK} ${OUT} RESULT_VARIABLE status OUTPUT_VARIABLE report ERROR_VARIABLE report)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the example's table is wrong:\n${report}")
endif()
message(STATUS "${report}")
