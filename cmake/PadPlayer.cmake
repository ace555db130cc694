# cmake -DFILE=... -DSIZE=... -P PadPlayer.cmake
# Run after every link of the player: pads the program with zeros to exactly
# SIZE bytes (its payload offset) and fails, removing it, when it is larger.
# The size before padding is kept in FILE.size.
file(SIZE "${FILE}" size)
if(size GREATER SIZE)
  file(REMOVE "${FILE}")
  message(FATAL_ERROR "${FILE} is ${size} bytes, more than its payload offset ${SIZE}")
endif()
file(WRITE "${FILE}.size" "${size}\n")
execute_process(COMMAND truncate -s "${SIZE}" "${FILE}" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot pad ${FILE} to ${SIZE} bytes")
endif()
message(STATUS "quillo-player: ${size} bytes, padded to ${SIZE}")
