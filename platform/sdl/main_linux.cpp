// Entry point of the Linux player: the player's dialog on SDL2, playing the
// program's own file, or the message file named by its one argument (a
// plain message or another self-playing one). Exit status 0 when the dialog
// was shown and closed, 1 when no window could be opened or the file cannot
// be read, 2 for more than one argument.
#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/player.h"
#include "platform/sdl/dialog_sdl.h"
#include "platform/sdl/program_path_linux.h"
#include "playback/wave_output.h"

namespace {

// Marks the file as this player for the desktop's file-type detection
// (the shared-MIME-info type of self-playing messages looks for its text in
// the first 4 KB, where the linker puts notes). Kept although nothing
// refers to it.
struct PlayerNote {
  uint32_t nameSize, descSize, type;
  char name[8];
  char desc[28];
};
__attribute__((used, retain, section(".note.quillo"), aligned(4)))
const PlayerNote PLAYER_NOTE = {7, 28, 1, "Quillo", "Quillo self-playing message"};

// Whether `path` can be read as a file; says why not on standard error.
bool readable(const char* path) {
  std::FILE* f = std::fopen(path, "rb");
  bool ok = f && !(std::fgetc(f) == EOF && std::ferror(f));
  int error = errno;
  if (f) std::fclose(f);
  if (!ok) std::fprintf(stderr, "quillo-player: cannot read %s: %s\n", path, std::strerror(error));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2) {
    std::fprintf(stderr, "usage: quillo-player [MESSAGE]\n");
    return 2;
  }
  if (argc == 2) {
    if (!readable(argv[1])) return 1;
    sdlPlayFile(argv[1]);
  }
  SDL_SetMainReady();
  static char module;  // the program's one module; its file is /proc/self/exe
  int status = playerMain(reinterpret_cast<InstanceHandle>(&module));
  waveShutdown();
  SDL_Quit();
  return sdlDialogFailed() ? 1 : status;
}
