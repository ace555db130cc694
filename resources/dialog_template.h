// The player's dialog template: caption, texts, and every size and position
// in dialog units (x, y, width, height). Only preprocessor definitions, so
// that the resource script includes it as the Linux dialog and the tests do.
#pragma once

#define PLAYER_DIALOG_WIDTH 120  // the client area, placed at 0, 0 (then centred)
#define PLAYER_DIALOG_HEIGHT 26
#define PLAYER_DIALOG_CAPTION "QLO"
#define PLAYER_DIALOG_FONT_POINTS 8
#define PLAYER_DIALOG_FONT "MS Sans Serif"

#define DEFAULT_BUTTON_RECT 4, 7, 15, 14  // hidden
#define PLAY_BUTTON_RECT 6, 4, 20, 18
#define STOP_BUTTON_RECT 28, 4, 20, 18
#define PROGRAM_NAME_RECT 55, 8, 61, 8
#define PROGRAM_NAME_TEXT "Quillo"
