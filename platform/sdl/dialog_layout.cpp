// Template, layout and painting of the Linux dialog and message box.
#include "platform/sdl/dialog_layout.h"

#include "resources/dialog_template.h"
#include "resources/resource_ids.h"
#include "platform/sdl/font.h"

namespace {

// The player's dialog, as resources/dialog_template.h gives it.
const TemplateControl PLAYER_CONTROLS[] = {
    {ID_DEFAULT_BUTTON, CONTROL_BUTTON, STYLE_CHILD | STYLE_BUTTON_DEFAULT, DEFAULT_BUTTON_RECT,
     ""},
    {ID_PLAY, CONTROL_BUTTON, STYLE_CHILD | STYLE_VISIBLE | STYLE_BUTTON_BITMAP, PLAY_BUTTON_RECT,
     ""},
    {ID_STOP, CONTROL_BUTTON, STYLE_CHILD | STYLE_VISIBLE | STYLE_BUTTON_BITMAP, STOP_BUTTON_RECT,
     ""},
    {ID_PROGRAM_NAME, CONTROL_STATIC, STYLE_CHILD | STYLE_VISIBLE | STYLE_GROUP, PROGRAM_NAME_RECT,
     PROGRAM_NAME_TEXT},
};

const DialogTemplate TEMPLATES[] = {
    {DIALOG_PLAYER, PLAYER_DIALOG_CAPTION, PLAYER_DIALOG_WIDTH, PLAYER_DIALOG_HEIGHT,
     PLAYER_CONTROLS, sizeof PLAYER_CONTROLS / sizeof PLAYER_CONTROLS[0]},
};

// a * b / c rounded to the nearest integer, halves away from zero; a, b >= 0, c > 0.
int mulDiv(int a, int b, int c) { return (a * b + c / 2) / c; }

void paintButton(const Canvas& canvas, const DialogView& view, const Control& button) {
  PixelRect r = button.rect;
  bool pushed = view.pressedId == button.id && view.pressedIn;
  canvasFill(canvas, r, COLOR_3D_FACE);
  if (button.style & STYLE_BUTTON_DEFAULT) {
    canvasFrame(canvas, r, COLOR_TEXT, COLOR_TEXT);
    r = {r.x + 1, r.y + 1, r.w - 2, r.h - 2};
  }
  if (pushed) {
    canvasFrame(canvas, r, COLOR_3D_DARK_SHADOW, COLOR_3D_DARK_SHADOW);
    canvasFrame(canvas, {r.x + 1, r.y + 1, r.w - 2, r.h - 2}, COLOR_3D_SHADOW, COLOR_3D_SHADOW);
  } else {
    canvasFrame(canvas, r, COLOR_3D_HIGHLIGHT, COLOR_3D_DARK_SHADOW);
    canvasFrame(canvas, {r.x + 1, r.y + 1, r.w - 2, r.h - 2}, COLOR_3D_LIGHT, COLOR_3D_SHADOW);
  }
  int shift = pushed ? 1 : 0;
  if (button.image) {
    const Bitmap& image = *button.image;
    int x = r.x + (r.w - image.width) / 2 + shift, y = r.y + (r.h - image.height) / 2 + shift;
    if (button.enabled)
      canvasImage(canvas, x, y, image);
    else
      canvasDisabledImage(canvas, x, y, image);
  } else if (button.text[0]) {
    int x = r.x + (r.w - fontTextWidth(button.text)) / 2 + shift;
    int y = r.y + (r.h - fontLineHeight()) / 2 + shift;
    if (button.enabled)
      canvasText(canvas, x, y, button.text, COLOR_TEXT);
    else
      canvasDisabledText(canvas, x, y, button.text, r.w);
  }
  if (view.focused && view.focusId == button.id)
    canvasDottedFrame(canvas, {r.x + 3, r.y + 3, r.w - 6, r.h - 6}, COLOR_TEXT);
}

// The information icon: a blue disc with a white "i", 32 x 32.
void paintInformationIcon(const Canvas& canvas, PixelRect r) {
  int cx = r.x + r.w / 2, cy = r.y + r.h / 2;
  canvasDisc(canvas, cx + 1, cy + 1, 14, COLOR_3D_SHADOW);
  canvasDisc(canvas, cx, cy, 14, 0xFFFFFFFF);
  canvasDisc(canvas, cx, cy, 13, 0xFF0000FF);
  canvasFill(canvas, {cx - 2, cy - 9, 4, 4}, 0xFFFFFFFF);
  canvasFill(canvas, {cx - 2, cy - 3, 4, 11}, 0xFFFFFFFF);
  canvasFill(canvas, {cx - 4, cy - 3, 2, 2}, 0xFFFFFFFF);
  canvasFill(canvas, {cx - 4, cy + 7, 8, 2}, 0xFFFFFFFF);
}

}  // namespace

const DialogTemplate* findDialogTemplate(int id) {
  for (const DialogTemplate& t : TEMPLATES)
    if (t.id == id) return &t;
  return nullptr;
}

int dialogUnitsToPixelsX(int units) { return mulDiv(units, DIALOG_BASE_UNIT_X, 4); }
int dialogUnitsToPixelsY(int units) { return mulDiv(units, DIALOG_BASE_UNIT_Y, 8); }

void initDialogView(const DialogTemplate& tmpl, DialogView* view) {
  *view = DialogView();
  view->clientWidth = dialogUnitsToPixelsX(tmpl.cx);
  view->clientHeight = dialogUnitsToPixelsY(tmpl.cy);
  int count = tmpl.controlCount < DIALOG_MAX_CONTROLS ? tmpl.controlCount : DIALOG_MAX_CONTROLS;
  for (int i = 0; i < count; i++) {
    const TemplateControl& t = tmpl.controls[i];
    Control& c = view->controls[i];
    c.id = t.id;
    c.kind = t.kind;
    c.style = t.style;
    c.enabled = true;
    c.rect = {dialogUnitsToPixelsX(t.x), dialogUnitsToPixelsY(t.y), dialogUnitsToPixelsX(t.cx),
              dialogUnitsToPixelsY(t.cy)};
    c.text = t.text;
    c.image = nullptr;
  }
  view->controlCount = count;
  view->pressedId = 0;
}

Control* findControl(DialogView* view, int id) {
  for (int i = 0; i < view->controlCount; i++)
    if (view->controls[i].id == id) return &view->controls[i];
  return nullptr;
}

bool takesInput(const Control& c) {
  return c.kind == CONTROL_BUTTON && (c.style & STYLE_VISIBLE) && c.enabled;
}

const Control* buttonAt(const DialogView& view, int x, int y) {
  for (int i = 0; i < view.controlCount; i++) {
    const Control& c = view.controls[i];
    if (!takesInput(c)) continue;
    if (x >= c.rect.x && x < c.rect.x + c.rect.w && y >= c.rect.y && y < c.rect.y + c.rect.h)
      return &c;
  }
  return nullptr;
}

const Control* nextFocusButton(const DialogView& view, bool backwards) {
  int n = view.controlCount;
  int from = backwards ? 0 : n - 1;  // one step from here reaches the first (last) control
  for (int i = 0; i < n; i++)
    if (view.focused && view.controls[i].id == view.focusId && takesInput(view.controls[i]))
      from = i;
  int step = backwards ? n - 1 : 1;
  for (int k = 1; k <= n; k++) {
    const Control& c = view.controls[(from + k * step) % n];
    if (takesInput(c)) return &c;
  }
  return nullptr;
}

void paintDialog(const Canvas& canvas, const DialogView& view) {
  canvasFill(canvas, {0, 0, canvas.width, canvas.height}, COLOR_3D_FACE);
  for (int i = 0; i < view.controlCount; i++) {
    const Control& c = view.controls[i];
    if (!(c.style & STYLE_VISIBLE)) continue;
    if (c.kind == CONTROL_BUTTON) {
      paintButton(canvas, view, c);
    } else {
      // Static text: left-aligned, its line centred in the control's height.
      int y = c.rect.y + (c.rect.h - fontLineHeight()) / 2;
      if (c.enabled)
        canvasText(canvas, c.rect.x, y, c.text, COLOR_TEXT, c.rect.w);
      else
        canvasDisabledText(canvas, c.rect.x, y, c.text, c.rect.w);
    }
  }
}

void layoutMessageBox(const char* text, MessageBoxView* view) {
  const int MARGIN = 11, ICON = 32, BUTTON_W = 75, BUTTON_H = 23;
  *view = MessageBoxView();
  view->message = text;
  view->icon = {MARGIN, MARGIN, ICON, ICON};
  int textX = MARGIN + ICON + MARGIN;
  int maxText = MESSAGE_BOX_MAX_WIDTH - textX - MARGIN;
  int textW = fontTextWidth(text);
  if (textW > maxText) textW = maxText;
  int lineHeight = fontLineHeight();
  view->text = {textX, MARGIN + (ICON - lineHeight) / 2, textW, lineHeight};
  int width = textX + textW + MARGIN;
  if (width < BUTTON_W + 2 * MARGIN) width = BUTTON_W + 2 * MARGIN;
  view->clientWidth = width;
  view->clientHeight = MESSAGE_BOX_HEIGHT;
  view->okButton = {(width - BUTTON_W) / 2, MESSAGE_BOX_HEIGHT - MARGIN - BUTTON_H, BUTTON_W,
                    BUTTON_H};
}

void paintMessageBox(const Canvas& canvas, const MessageBoxView& view) {
  canvasFill(canvas, {0, 0, canvas.width, canvas.height}, COLOR_3D_FACE);
  paintInformationIcon(canvas, view.icon);
  canvasText(canvas, view.text.x, view.text.y, view.message, COLOR_TEXT, view.text.w);

  DialogView buttons = DialogView();
  buttons.controlCount = 1;
  buttons.controls[0] = {
      1, CONTROL_BUTTON, STYLE_VISIBLE | STYLE_BUTTON_DEFAULT, true, view.okButton, "OK", nullptr};
  buttons.focused = true;
  buttons.focusId = 1;
  buttons.pressedId = view.okPressed ? 1 : 0;
  buttons.pressedIn = view.okPressed;
  paintButton(canvas, buttons, buttons.controls[0]);
}
