// message_title MESSAGE POSITION: prints the title the player shows for
// MESSAGE at block POSITION, for the scripts that watch a real player's
// title (the title text and clock as the player makes them).
#include <cstdio>
#include <cstdlib>

#include "app/title.h"
#include "playback/message_reader.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: message_title MESSAGE POSITION\n");
    return 2;
  }
  MessageFile file;
  if (!openMessageFile(argv[1], &file)) {
    std::fprintf(stderr, "message_title: %s: cannot read\n", argv[1]);
    return 1;
  }
  MessageHeaderValues h = readMessageHeaderValues(messageSourceOfFile(&file));
  closeMessageFile(&file);
  int32_t position = static_cast<int32_t>(std::strtol(argv[2], nullptr, 10));
  char text[64];
  formatTitle(text, sizeof text, positionSeconds(h.rateCode, position), h.totalSeconds);
  std::printf("%s\n", text);
  return 0;
}
