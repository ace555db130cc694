// Identifiers of the player's resources and dialog controls. Only
// preprocessor definitions, so that resource scripts can include it too.
#pragma once

#define DIALOG_PLAYER 103   // the player's dialog template
#define ICON_PROGRAM 102    // icon group of the program file
#define BITMAP_PLAY 117     // Play button while nothing plays
#define BITMAP_STOP 119     // Stop button
#define BITMAP_PLAYING 121  // Play button while playing

#define ID_DEFAULT_BUTTON 1025  // invisible default button: Enter does nothing
#define ID_PLAY 1019            // Play (or resume)
#define ID_STOP 1020            // Stop: pause, or rewind when nothing plays
#define ID_PROGRAM_NAME (-1)    // static text with the program name
