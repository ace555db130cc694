// Placeholder until this subcommand lands.
#include "tools/quillo/commands.h"

int cmd_effect(int argc, char** argv) {
  (void)argc;
  (void)argv;
  return tool_error(2, "this command is not available yet");
}
