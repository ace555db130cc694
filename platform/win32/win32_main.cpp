// Entry point of the Windows player: the whole program is the player's
// modal dialog.
#include <windows.h>

#include "app/player.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return playerMain(reinterpret_cast<InstanceHandle>(instance));
}
