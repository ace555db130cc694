// The player's dialog as the Linux build presents it: the dialog template
// in dialog units, its conversion to pixels, and the painting of the dialog
// and of the message box into a canvas. Nothing here touches SDL.
#pragma once

#include <cstdint>

#include "platform/sdl/bitmap.h"
#include "platform/sdl/canvas.h"

// Window style bits of the controls (numbered as the Windows styles).
const uint32_t STYLE_VISIBLE = 0x10000000;
const uint32_t STYLE_CHILD = 0x40000000;
const uint32_t STYLE_GROUP = 0x00020000;
const uint32_t STYLE_BUTTON_BITMAP = 0x00000080;
const uint32_t STYLE_BUTTON_DEFAULT = 0x00000001;  // the default push button

enum ControlKind { CONTROL_BUTTON, CONTROL_STATIC };

// One control of a dialog template; position and size in dialog units.
struct TemplateControl {
  int id;
  ControlKind kind;
  uint32_t style;
  int x, y, cx, cy;
  const char* text;
};

struct DialogTemplate {
  int id;
  const char* caption;
  int cx, cy;  // client size in dialog units
  const TemplateControl* controls;
  int controlCount;
};

// The template with resource identifier `id`, or null.
const DialogTemplate* findDialogTemplate(int id);

// Dialog base units of the 8-point dialog font: a dialog unit is a quarter
// of the average character width horizontally and an eighth of the character
// height vertically.
const int DIALOG_BASE_UNIT_X = 6;
const int DIALOG_BASE_UNIT_Y = 13;

// Dialog units to pixels, rounded to the nearest pixel (halves up).
int dialogUnitsToPixelsX(int units);
int dialogUnitsToPixelsY(int units);

const int DIALOG_MAX_CONTROLS = 8;

// A control as it currently stands.
struct Control {
  int id;
  ControlKind kind;
  uint32_t style;
  bool enabled;
  PixelRect rect;
  const char* text;
  const Bitmap* image;  // bitmap of a bitmap button, or null
};

struct DialogView {
  int clientWidth;
  int clientHeight;
  Control controls[DIALOG_MAX_CONTROLS];
  int controlCount;
  bool focused;     // some control has the keyboard focus ...
  int focusId;      // ... this one
  int pressedId;    // button held down with the mouse or Space, shown pushed in
  bool pressedIn;   // the pointer is inside the held button
  bool pressedKey;  // the held button is held by Space, not the mouse
};

// Fills `view` from `tmpl`: every control enabled, no image, no focus.
void initDialogView(const DialogTemplate& tmpl, DialogView* view);

// The control with identifier `id`, or null.
Control* findControl(DialogView* view, int id);

// Whether `c` is a visible, enabled button: one that takes clicks and the
// keyboard focus.
bool takesInput(const Control& c);

// The visible, enabled button under client point (x, y), or null.
const Control* buttonAt(const DialogView& view, int x, int y);

// The button Tab (or Shift-Tab, `backwards`) moves the keyboard focus to:
// the next visible, enabled button after the focused one in template order,
// wrapping around; without a focused button the first (or last) one. Null
// when no button can take the focus.
const Control* nextFocusButton(const DialogView& view, bool backwards);

void paintDialog(const Canvas& canvas, const DialogView& view);

// The message box: an information icon, one line of text, an OK button.
struct MessageBoxView {
  int clientWidth;
  int clientHeight;
  PixelRect icon;
  PixelRect text;
  PixelRect okButton;
  bool okPressed;
  const char* message;
};

const int MESSAGE_BOX_MAX_WIDTH = 600;
const int MESSAGE_BOX_HEIGHT = 101;

// Lays out a message box for `text` (one line, cut to the widest box).
void layoutMessageBox(const char* text, MessageBoxView* view);

void paintMessageBox(const Canvas& canvas, const MessageBoxView& view);
