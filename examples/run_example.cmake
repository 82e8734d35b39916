# Runs an example host on the library, writes its table to OUT and checks it
# with CHECK (awk). A cross-built host runs through EMULATOR (empty or
# undefined: none). With
# REFERENCE_EXAMPLE and REFERENCE_LIB (another build's host and library), the
# table must also match theirs (COMPARE, awk, given COMPARE_COLUMNS: the
# columns compared within a tolerance).
set(lib ${LIB})
if(EMULATOR)
  # The library's absolute path as Windows sees it: wine's Z: drive is /.
  set(lib "Z:${LIB}")
endif()
execute_process(COMMAND ${EMULATOR} ${EXAMPLE} ${lib} OUTPUT_FILE ${OUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(READ ${OUT} table)
  message(FATAL_ERROR "the example host failed (${status}):\n${table}")
endif()
execute_process(COMMAND awk -f ${CHECK} ${OUT} RESULT_VARIABLE status OUTPUT_VARIABLE report ERROR_VARIABLE report)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the example's table is wrong:\n${report}")
endif()
message(STATUS "${report}")

if(DEFINED REFERENCE_EXAMPLE)
  if(NOT EXISTS ${REFERENCE_EXAMPLE} OR NOT EXISTS ${REFERENCE_LIB})
    message(FATAL_ERROR "no reference build: ${REFERENCE_EXAMPLE} and ${REFERENCE_LIB} are made by the Linux build (./test.sh builds it first)")
  endif()
  execute_process(COMMAND ${REFERENCE_EXAMPLE} ${REFERENCE_LIB} OUTPUT_FILE ${OUT}.reference RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the reference host failed (${status})")
  endif()
  execute_process(COMMAND awk -v "columns=${COMPARE_COLUMNS}" -f ${COMPARE} ${OUT}.reference ${OUT}
                  RESULT_VARIABLE status OUTPUT_VARIABLE report ERROR_VARIABLE report)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the table differs from the reference build's:\n${report}")
  endif()
  message(STATUS "${report}")
endif()
