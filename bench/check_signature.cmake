# Runs the bench's fixed searches and compares the signature they print with the
# one recorded in bench/signature.txt; a mismatch fails with both shown.
#
#   cmake -DBENCH=path/to/kelmo-bench -DRECORD=bench/signature.txt -P bench/check_signature.cmake
foreach(var BENCH RECORD)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_signature.cmake needs -D${var}=...")
  endif()
endforeach()

# The record: exactly one line that is neither blank nor a comment.
file(STRINGS "${RECORD}" recorded REGEX "^[^#]")
list(LENGTH recorded count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "${RECORD} must hold one signature line, found ${count}: ${recorded}")
endif()
string(STRIP "${recorded}" recorded)

execute_process(COMMAND "${BENCH}" --signature
  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "kelmo-bench --signature failed (${status}):\n${output}${errors}")
endif()
if(NOT output MATCHES "signature: ([^\n]*)")
  message(FATAL_ERROR "kelmo-bench printed no signature line:\n${output}${errors}")
endif()
set(printed "${CMAKE_MATCH_1}")

if(NOT printed STREQUAL recorded)
  # The searches' own lines first: they show which position moved.
  message("${output}")
  message(FATAL_ERROR "the search signature changed\n"
    "  recorded: ${recorded}   (${RECORD})\n"
    "  printed:  ${printed}\n"
    "If the change means to alter the search, update the record and say why in the commit.")
endif()
message(STATUS "signature ${printed} matches the record")
