// The dialog's scalable font on SDL2: SDL2_ttf and fontconfig, both loaded
// at run time so that the player still runs, with its built-in font, where
// either is missing.
#pragma once

// Finds the system's sans-serif font (through fontconfig, else DejaVu Sans
// where Debian's fonts-dejavu-core puts it), opens it at the dialog's size and
// makes it the font in use. Tried once per program run; false when the
// built-in font stays in use. Needs SDL to be initialised.
bool sdlLoadFont();
