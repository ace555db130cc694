// The player: one modal dialog with Play and Stop, the playing position and
// the message's length in its title, and the wave-output notifications that
// keep playback going. Written once against the platform layer; each
// platform's real entry point calls playerMain.
#pragma once

#include <cstdint>

#include "app/title.h"
#include "app/dialog_services.h"

// Runs the player as a fresh program run from `instance`: stores it, shows
// dialog DIALOG_PLAYER until it is closed, and returns 0.
int playerMain(InstanceHandle instance);

// The dialog procedure: nonzero for the messages it handles.
intptr_t playerDialogProc(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t lParam);

// Starts playback, or resumes it one block before the position reached;
// tells the user when no sound device can play. Does nothing while playing.
void startOrResume(WindowHandle window);

// Stops playback and keeps the position. Does nothing while nothing plays.
void stopPlayer(WindowHandle window);

// Sets the title "QLO [hh:mm:ss]-[hh:mm:ss]": the time at block `position`,
// then the message's length.
void showTitle(WindowHandle window, int32_t position);
