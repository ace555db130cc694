// quillo make INPUT -o OUTPUT [options]: a message from any recording (see
// make_message.h); quillo effects: the voice effects to choose from.
#include <cstdio>
#include <string>

#include "tools/quillo/commands.h"
#include "tools/quillo/effect_names.h"
#include "tools/quillo/make_message.h"

int cmd_make(int argc, char** argv) {
  MakeOptions options;
  std::string error;
  int status = parseMakeOptions(argc, argv, false, &options, &error);
  if (status != 0) return tool_error(status, "%s", error.c_str());
  return makeMessage(options);
}

int cmd_effects(int argc, char** argv) {
  (void)argv;
  if (argc != 0) return tool_error(2, "usage: quillo effects");
  for (int id = 0; id < EFFECT_CHOICES; id++)
    std::printf("%2d  %-13s %s\n", id, effectName(id), effectDescription(id).c_str());
  return 0;
}
