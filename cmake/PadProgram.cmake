# cmake -DFILE=PROGRAM -DSIZE=BYTES -P PadProgram.cmake
# Pads PROGRAM with zero bytes to exactly BYTES, where a message's payload
# begins; fails when the program is already larger. Records the size before
# padding in PROGRAM.size.
file(SIZE "${FILE}" unpadded)
file(WRITE "${FILE}.size" "${unpadded}\n")
if(unpadded GREATER SIZE)
  file(REMOVE "${FILE}")
  message(FATAL_ERROR "${FILE} is ${unpadded} bytes, more than the ${SIZE} bytes in front of the payload")
endif()
message(STATUS "${FILE}: ${unpadded} bytes, padded to ${SIZE}")
if(unpadded LESS SIZE)
  execute_process(COMMAND truncate -s ${SIZE} "${FILE}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot pad ${FILE}")
  endif()
endif()
