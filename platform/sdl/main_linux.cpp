// Entry point of the Linux player: the player's dialog on SDL2. Exit status
// 0 when the dialog was shown and closed, 1 when no window could be opened.
#define SDL_MAIN_HANDLED
#include <SDL.h>

#include "app/player.h"
#include "platform/sdl/dialog_sdl.h"
#include "platform/sdl/wave_sdl.h"

int main() {
  SDL_SetMainReady();
  static char module;  // the program's one module; its file is /proc/self/exe
  int status = playerMain(reinterpret_cast<InstanceHandle>(&module));
  waveShutdown();
  SDL_Quit();
  return sdlDialogFailed() ? 1 : status;
}
