# Sets QUILLO_PAYLOAD_OFFSET to PAYLOAD_OFFSET as playback/message_format.h
# defines it: the size every player program is padded to.
file(STRINGS ${PROJECT_SOURCE_DIR}/playback/message_format.h offset_line
     REGEX "^const int32_t PAYLOAD_OFFSET = [0-9]+;")
string(REGEX MATCH "= ([0-9]+)" unused "${offset_line}")
set(QUILLO_PAYLOAD_OFFSET ${CMAKE_MATCH_1})
if(NOT QUILLO_PAYLOAD_OFFSET)
  message(FATAL_ERROR "PAYLOAD_OFFSET not found in playback/message_format.h")
endif()
