// quillo play MESSAGE: plays a message in the terminal with the player's own
// dialog procedure and playback engine, the message file standing in for the
// player's program file. Exit status 3 when no sound device could play it.
#include <string>

#include "app/player.h"
#include "playback/wave_output.h"
#include "platform/terminal/terminal.h"
#include "tools/quillo/commands.h"
#include "tools/quillo/message_file.h"

int cmd_play(int argc, char** argv) {
  if (argc != 1 || argv[0][0] == '-') return tool_error(2, "usage: quillo play MESSAGE");
  std::string error;
  if (checkMessageFile(argv[0], &error) < 0) return tool_error(1, "%s", error.c_str());
  terminalSetProgramPath(argv[0]);
  static char module;
  playerMain(reinterpret_cast<InstanceHandle>(&module));
  waveShutdown();
  return terminalMessageShown() ? 3 : 0;
}
