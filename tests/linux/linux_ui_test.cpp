// The Linux dialog's pictures: the built-in bitmaps and icon as decoded,
// the dialog-unit layout, and what the painted dialog shows.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/sdl/bitmap.h"
#include "platform/sdl/canvas.h"
#include "platform/sdl/dialog_layout.h"
#include "platform/sdl/font.h"
#include "platform/sdl/resources_linux.h"

namespace {

const uint32_t BLUE = 0xFF0000FF, WHITE = 0xFFFFFFFF, BLACK = 0xFF000000;

uint32_t at(const Bitmap& b, int x, int y) { return b.pixels[y * b.width + x]; }

std::vector<uint8_t> resourceBytes(ResourceKind kind, int id) {
  const EmbeddedResource* r = findEmbeddedResource(kind, id);
  return r ? std::vector<uint8_t>(r->data, r->data + r->size) : std::vector<uint8_t>();
}

}  // namespace

TEST(LinuxImages, PlayBitmapIsABlueTriangleOnTheButtonFace) {
  const Bitmap* play = loadResourceBitmap(117);
  ASSERT_NE(play, nullptr);
  ASSERT_EQ(play->width, 20);
  ASSERT_EQ(play->height, 20);
  // The face grey of the file is shown in the dialog's own face colour.
  EXPECT_EQ(at(*play, 0, 0), COLOR_3D_FACE);
  EXPECT_EQ(at(*play, 19, 19), COLOR_3D_FACE);
  EXPECT_EQ(at(*play, 7, 9), COLOR_3D_SHADOW);   // left edge
  EXPECT_EQ(at(*play, 9, 9), BLUE);              // inside
  EXPECT_EQ(at(*play, 13, 9), COLOR_3D_SHADOW);  // the point, upper half
  EXPECT_EQ(at(*play, 10, 13), WHITE);           // lower edge
  // Pointing right: every row is a run starting at the left edge.
  for (int y = 0; y < 20; y++) {
    int run = 0;
    while (run < 20 && at(*play, 7 + run, y) != COLOR_3D_FACE && 7 + run < 20) run++;
    for (int x = 7 + run; x < 20; x++) EXPECT_EQ(at(*play, x, y), COLOR_3D_FACE) << x << "," << y;
  }
}

TEST(LinuxImages, StopBitmapIsABlackNineByNineSquareInASunkenFrame) {
  const Bitmap* stop = loadResourceBitmap(119);
  ASSERT_NE(stop, nullptr);
  int black = 0;
  for (int y = 0; y < 20; y++)
    for (int x = 0; x < 20; x++)
      if (at(*stop, x, y) == BLACK) {
        black++;
        EXPECT_TRUE(x >= 5 && x <= 13 && y >= 5 && y <= 13) << x << "," << y;
      }
  EXPECT_EQ(black, 81);
  EXPECT_EQ(at(*stop, 4, 8), COLOR_3D_SHADOW);  // left side
  EXPECT_EQ(at(*stop, 8, 4), COLOR_3D_SHADOW);  // upper side
  EXPECT_EQ(at(*stop, 14, 8), WHITE);           // right side
  EXPECT_EQ(at(*stop, 8, 14), WHITE);           // lower side
  EXPECT_EQ(at(*stop, 2, 2), COLOR_3D_FACE);
}

TEST(LinuxImages, PlayingBitmapIsAFaceGreyTriangleOnWhite) {
  const Bitmap* playing = loadResourceBitmap(121);
  ASSERT_NE(playing, nullptr);
  EXPECT_EQ(at(*playing, 0, 0), WHITE);
  EXPECT_EQ(at(*playing, 9, 9), COLOR_3D_FACE);
  EXPECT_EQ(at(*playing, 7, 9), COLOR_3D_SHADOW);
  EXPECT_EQ(loadResourceBitmap(118), nullptr);
}

TEST(LinuxImages, IconIsOpaqueWhereItDrawsAndTransparentAround) {
  const Bitmap* icon = loadResourceIcon(102);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->width, 32);
  EXPECT_EQ(icon->height, 32);
  EXPECT_EQ(at(*icon, 0, 0) >> 24, 0u);  // transparent corner
  EXPECT_EQ(at(*icon, 31, 0) >> 24, 0u);
  EXPECT_EQ(at(*icon, 5, 28), WHITE);        // the envelope
  EXPECT_EQ(at(*icon, 1, 16), BLACK);        // its outline
  EXPECT_EQ(at(*icon, 25, 21), 0xFFFF0000);  // the stamp
}

TEST(LinuxImages, MalformedBitmapsAreRefusedWithoutReadingBeyondThem) {
  std::vector<uint8_t> good = resourceBytes(RESOURCE_BITMAP, 117);
  ASSERT_FALSE(good.empty());
  Bitmap out;
  ASSERT_TRUE(decodeBmp(good.data(), good.size(), true, &out));
  // Every truncation: an exactly sized copy, so the sanitizer sees overreads.
  for (size_t n = 0; n < good.size(); n++) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + n);
    EXPECT_FALSE(decodeBmp(cut.data(), cut.size(), true, &out)) << n;
  }
  auto patched = [&](size_t offset, uint8_t value) {
    std::vector<uint8_t> b = good;
    b[offset] = value;
    return decodeBmp(b.data(), b.size(), true, &out);
  };
  EXPECT_FALSE(patched(0, 'X'));    // not "BM"
  EXPECT_FALSE(patched(18, 33));    // wider than 32
  EXPECT_FALSE(patched(18, 0));     // no width
  EXPECT_FALSE(patched(28, 24));    // true colour is not ours
  EXPECT_FALSE(patched(30, 2));     // compressed
  EXPECT_FALSE(patched(46, 17));    // more colours than 4 bits address
  EXPECT_FALSE(patched(10, 0xFF));  // pixels beyond the file
  EXPECT_TRUE(patched(46, 2));      // two colours used: the others show black
  EXPECT_EQ(at(out, 9, 9), BLACK);

  std::vector<uint8_t> icon = resourceBytes(RESOURCE_ICON, 102);
  for (size_t n = 0; n < icon.size(); n++) {
    std::vector<uint8_t> cut(icon.begin(), icon.begin() + n);
    EXPECT_FALSE(decodeIcon(cut.data(), cut.size(), &out)) << n;
  }
  std::vector<uint8_t> badOffset = icon;
  badOffset[18] = 0xFF;  // image offset far beyond the file
  EXPECT_FALSE(decodeIcon(badOffset.data(), badOffset.size(), &out));
}

TEST(LinuxImages, TopDownBitmapsKeepTheirFirstRowOnTop) {
  std::vector<uint8_t> b = resourceBytes(RESOURCE_BITMAP, 119);
  Bitmap up, down;
  ASSERT_TRUE(decodeBmp(b.data(), b.size(), false, &up));
  int32_t height = -20;
  std::memcpy(&b[22], &height, 4);
  ASSERT_TRUE(decodeBmp(b.data(), b.size(), false, &down));
  for (int y = 0; y < 20; y++)
    for (int x = 0; x < 20; x++) EXPECT_EQ(at(down, x, y), at(up, x, 19 - y));
  // Without 3-D mapping the file's own grey shows.
  EXPECT_EQ(at(up, 0, 0), 0xFFC0C0C0);
}

TEST(LinuxDialog, DialogUnitsConvertWithTheEightPointFontsBaseUnits) {
  const DialogTemplate* t = findDialogTemplate(103);
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(t->caption, "QLO");
  EXPECT_EQ(findDialogTemplate(104), nullptr);
  DialogView v;
  initDialogView(*t, &v);
  EXPECT_EQ(v.clientWidth, 180);  // 120 x 6 / 4
  EXPECT_EQ(v.clientHeight, 42);  // 26 x 13 / 8 = 42.25
  struct Expected {
    int id, x, y, w, h;
    bool visible;
  } expected[] = {{1025, 6, 11, 23, 23, false},
                  {1019, 9, 7, 30, 29, true},  // y 6.5 rounds up, height 29.25 down
                  {1020, 42, 7, 30, 29, true},
                  {-1, 83, 13, 92, 13, true}};  // 82.5 and 91.5 round up
  ASSERT_EQ(v.controlCount, 4);
  for (const Expected& e : expected) {
    Control* c = findControl(&v, e.id);
    ASSERT_NE(c, nullptr) << e.id;
    EXPECT_EQ(c->rect.x, e.x) << e.id;
    EXPECT_EQ(c->rect.y, e.y) << e.id;
    EXPECT_EQ(c->rect.w, e.w) << e.id;
    EXPECT_EQ(c->rect.h, e.h) << e.id;
    EXPECT_EQ((c->style & STYLE_VISIBLE) != 0, e.visible) << e.id;
  }
  EXPECT_EQ(findControl(&v, 1025)->style & STYLE_BUTTON_DEFAULT, STYLE_BUTTON_DEFAULT);
  EXPECT_STREQ(findControl(&v, -1)->text, "Quillo");
}

TEST(LinuxDialog, OnlyVisibleEnabledButtonsTakeClicks) {
  DialogView v;
  initDialogView(*findDialogTemplate(103), &v);
  ASSERT_NE(buttonAt(v, 10, 10), nullptr);
  EXPECT_EQ(buttonAt(v, 10, 10)->id, 1019);
  EXPECT_EQ(buttonAt(v, 71, 35)->id, 1020);  // last pixel of Stop
  EXPECT_EQ(buttonAt(v, 72, 36), nullptr);
  EXPECT_EQ(buttonAt(v, 100, 18), nullptr);  // the static text
  findControl(&v, 1019)->enabled = false;
  EXPECT_EQ(buttonAt(v, 10, 10), nullptr);
  // The hidden default button lies under Play but never takes the click.
  findControl(&v, 1019)->style &= ~STYLE_VISIBLE;
  EXPECT_EQ(buttonAt(v, 12, 14), nullptr);
}

TEST(LinuxDialog, PaintedDialogShowsImagesFramesAndText) {
  DialogView v;
  initDialogView(*findDialogTemplate(103), &v);
  findControl(&v, 1019)->image = loadResourceBitmap(117);
  findControl(&v, 1020)->image = loadResourceBitmap(119);
  std::vector<uint32_t> pixels(v.clientWidth * v.clientHeight);
  Canvas c = {pixels.data(), v.clientWidth, v.clientHeight};
  paintDialog(c, v);
  auto px = [&](int x, int y) { return pixels[y * v.clientWidth + x]; };
  // Bitmaps centred in their 30 x 29 buttons: (30-20)/2 = 5, (29-20)/2 = 4.
  EXPECT_EQ(px(9 + 5 + 9, 7 + 4 + 9), BLUE);
  EXPECT_EQ(px(42 + 5 + 9, 7 + 4 + 9), BLACK);
  EXPECT_EQ(px(9, 7), COLOR_3D_HIGHLIGHT);  // raised frame
  EXPECT_EQ(px(38, 35), COLOR_3D_DARK_SHADOW);
  // Outside the buttons, ink of "Quillo" only inside the static's rectangle;
  // the hidden button leaves no trace left of Play.
  int ink = 0;
  for (int y = 0; y < v.clientHeight; y++)
    for (int x = 0; x < v.clientWidth; x++)
      if (px(x, y) == COLOR_TEXT && !buttonAt(v, x, y)) {
        ink++;
        EXPECT_TRUE(x >= 83 && y >= 13 && y < 26) << x << "," << y;
      }
  EXPECT_GT(ink, 40);
  EXPECT_EQ(px(7, 20), COLOR_3D_FACE);

  // The default-button border and the focus mark.
  findControl(&v, 1020)->style |= STYLE_BUTTON_DEFAULT;
  v.focused = true;
  v.focusId = 1020;
  paintDialog(c, v);
  EXPECT_EQ(px(42, 7), BLACK);
  EXPECT_EQ(px(71, 35), BLACK);
  EXPECT_EQ(px(42 + 4, 7 + 4), BLACK);  // dotted focus frame
}

TEST(LinuxDialog, MessageBoxFitsItsTextAndCentresOk) {
  MessageBoxView m;
  layoutMessageBox("Can not open sound device.", &m);
  EXPECT_EQ(m.text.w, 26 * FONT_ADVANCE);
  EXPECT_EQ(m.clientWidth, m.text.x + m.text.w + 11);
  EXPECT_EQ(m.okButton.x * 2 + m.okButton.w, m.clientWidth);
  EXPECT_LE(m.okButton.y + m.okButton.h, m.clientHeight);
  std::string longText(500, 'x');
  layoutMessageBox(longText.c_str(), &m);
  EXPECT_EQ(m.clientWidth, MESSAGE_BOX_MAX_WIDTH);
  std::vector<uint32_t> pixels(m.clientWidth * m.clientHeight);
  Canvas c = {pixels.data(), m.clientWidth, m.clientHeight};
  paintMessageBox(c, m);  // text cut at the box's edge, not beyond the buffer
  for (int y = 0; y < m.clientHeight; y++)
    EXPECT_NE(pixels[y * m.clientWidth + m.clientWidth - 1], BLACK);
}

TEST(LinuxFont, EveryPrintableCharacterHasInkAndOthersShowAsQuestionMarks) {
  for (int c = 33; c < 127; c++) {
    int ink = 0;
    for (int y = 0; y < FONT_LINE_HEIGHT; y++)
      for (int x = 0; x < FONT_GLYPH_WIDTH; x++) ink += fontPixel(static_cast<char>(c), x, y);
    EXPECT_GT(ink, 0) << static_cast<char>(c);
  }
  for (int y = 0; y < FONT_LINE_HEIGHT; y++)
    for (int x = -1; x <= FONT_GLYPH_WIDTH; x++) {
      EXPECT_FALSE(fontPixel(' ', x, y));
      EXPECT_EQ(fontPixel('\x80', x, y), fontPixel('?', x, y));
    }
  // Descenders reach the two rows below the baseline; capitals do not.
  EXPECT_TRUE(fontPixel('p', 0, 8));
  for (int x = 0; x < FONT_GLYPH_WIDTH; x++) EXPECT_FALSE(fontPixel('Q', x, 8));
  EXPECT_EQ(fontTextWidth("Quillo"), 36);
}

namespace {

// A scalable font stand-in: every character a 4 x 10 cell whose coverage
// rises from 0 at its left column to 255 at its right one.
uint8_t fakeCoverage[10 * 4 * 64];
int fakeWidth(const char* text) { return static_cast<int>(std::strlen(text)) * 4; }
bool fakeRender(const char* text, TextMask* mask) {
  int w = fakeWidth(text);
  if (w > 4 * 64) return false;
  for (int y = 0; y < 10; y++)
    for (int x = 0; x < w; x++) fakeCoverage[y * w + x] = static_cast<uint8_t>(x % 4 * 85);
  *mask = {fakeCoverage, w, 10, w};
  return true;
}
const ScalableFont FAKE_FONT = {10, fakeWidth, fakeRender};

}  // namespace

TEST(LinuxFont, ScalableTextIsBlendedCutToItsWidthAndSetsTheLayout) {
  fontUseScalable(&FAKE_FONT);
  EXPECT_EQ(fontTextWidth("Quillo"), 24);
  EXPECT_EQ(fontLineHeight(), 10);
  std::vector<uint32_t> pixels(40 * 12, WHITE);
  Canvas c = {pixels.data(), 40, 12};
  canvasText(c, 2, 1, "abcdefgh", BLACK, 13);  // three characters fit
  auto px = [&](int x, int y) { return pixels[y * 40 + x]; };
  EXPECT_EQ(px(2, 1), WHITE);        // coverage 0
  EXPECT_EQ(px(3, 1), 0xFFAAAAAAu);  // 85: a third of the way to black
  EXPECT_EQ(px(4, 5), 0xFF555555u);
  EXPECT_EQ(px(5, 10), BLACK);
  EXPECT_EQ(px(13, 5), BLACK);  // last column of the third character
  for (int x = 14; x < 40; x++) EXPECT_EQ(px(x, 5), WHITE) << x;
  EXPECT_EQ(px(5, 11), WHITE);         // below the line
  canvasText(c, 36, 8, "xyz", BLACK);  // clipped at the canvas edge

  MessageBoxView m;
  layoutMessageBox("Can not open sound device.", &m);
  EXPECT_EQ(m.text.w, 26 * 4);
  EXPECT_EQ(m.text.h, 10);
  fontUseScalable(nullptr);
  EXPECT_EQ(fontLineHeight(), FONT_LINE_HEIGHT);
}

TEST(LinuxDialog, DisabledPlayIsEmbossedAndTabSkipsIt) {
  DialogView v;
  initDialogView(*findDialogTemplate(103), &v);
  Control* play = findControl(&v, 1019);
  play->image = loadResourceBitmap(121);
  play->enabled = false;
  std::vector<uint32_t> pixels(v.clientWidth * v.clientHeight);
  Canvas c = {pixels.data(), v.clientWidth, v.clientHeight};
  paintDialog(c, v);
  auto px = [&](int x, int y) { return pixels[y * v.clientWidth + x]; };
  // Image 121 at (14, 11): its white field drops out, the triangle is
  // shadow, and its highlight copy shows below the lower edge.
  int ox = 14, oy = 11;
  EXPECT_EQ(px(ox + 0, oy + 0), COLOR_3D_FACE);
  EXPECT_EQ(px(ox + 9, oy + 9), COLOR_3D_SHADOW);
  EXPECT_EQ(px(ox + 7, oy + 3), COLOR_3D_SHADOW);
  EXPECT_EQ(px(ox + 8, oy + 17), COLOR_3D_HIGHLIGHT);  // under the triangle's foot
  for (int y = 7; y < 36; y++)
    for (int x = 9; x < 39; x++) EXPECT_NE(px(x, y), BLUE) << x << "," << y;

  // Tab order: only Stop while Play is disabled, then both, wrapping around.
  auto next = [&](bool backwards) {
    const Control* n = nextFocusButton(v, backwards);
    return n ? n->id : 0;
  };
  EXPECT_EQ(next(false), 1020);
  v.focused = true;
  v.focusId = 1020;
  EXPECT_EQ(next(false), 1020);
  play->enabled = true;
  EXPECT_EQ(next(false), 1019);
  EXPECT_EQ(next(true), 1019);
  v.focusId = -1;  // the static text: Tab starts at the first button
  EXPECT_EQ(next(false), 1019);
  EXPECT_EQ(next(true), 1020);
  findControl(&v, 1020)->enabled = false;
  play->enabled = false;
  EXPECT_EQ(next(false), 0);
}
