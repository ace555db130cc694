// SDL2_ttf and fontconfig through SDL_LoadObject: a handful of function
// pointers, typed from the libraries' own headers.
#include "platform/sdl/font_sdl.h"

#include <SDL.h>

#include "platform/sdl/font.h"

#if QUILLO_HAVE_FONT_LIBRARIES
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <cstring>

namespace {

// 8 points at 96 dots per inch; SDL2_ttf takes the size in pixels (points at
// 72 dots per inch). DejaVu Sans then has a 13-pixel line, the dialog font's.
const int DIALOG_FONT_PIXELS = 11;
const char FALLBACK_FONT[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const int FONT_PATH_SIZE = 4096;

struct FontLibrary {
  bool tried;
  TTF_Font* font;
  SDL_Surface* rendered;  // the last line rendered, kept for its mask
  decltype(&TTF_Init) init;
  decltype(&TTF_OpenFont) openFont;
  decltype(&TTF_FontHeight) fontHeight;
  decltype(&TTF_SizeUTF8) sizeUtf8;
  decltype(&TTF_RenderUTF8_Shaded) renderShaded;
};

FontLibrary ttf;

template <typename F>
bool loadFunction(void* library, const char* name, F* out) {
  *out = reinterpret_cast<F>(SDL_LoadFunction(library, name));
  return *out != nullptr;
}

bool loadTtf() {
  void* lib = SDL_LoadObject("libSDL2_ttf-2.0.so.0");
  return lib && loadFunction(lib, "TTF_Init", &ttf.init) &&
         loadFunction(lib, "TTF_OpenFont", &ttf.openFont) &&
         loadFunction(lib, "TTF_FontHeight", &ttf.fontHeight) &&
         loadFunction(lib, "TTF_SizeUTF8", &ttf.sizeUtf8) &&
         loadFunction(lib, "TTF_RenderUTF8_Shaded", &ttf.renderShaded) && ttf.init() == 0;
}

// The file of the font fontconfig picks for "sans-serif" into `path`; false
// when fontconfig is missing or knows no font.
bool findSystemFont(char* path, size_t size) {
  void* lib = SDL_LoadObject("libfontconfig.so.1");
  decltype(&FcInitLoadConfigAndFonts) loadConfig;
  decltype(&FcNameParse) parse;
  decltype(&FcConfigSubstitute) substitute;
  decltype(&FcDefaultSubstitute) defaults;
  decltype(&FcFontMatch) match;
  decltype(&FcPatternGetString) getString;
  decltype(&FcPatternDestroy) destroyPattern;
  decltype(&FcConfigDestroy) destroyConfig;
  if (!lib || !loadFunction(lib, "FcInitLoadConfigAndFonts", &loadConfig) ||
      !loadFunction(lib, "FcNameParse", &parse) ||
      !loadFunction(lib, "FcConfigSubstitute", &substitute) ||
      !loadFunction(lib, "FcDefaultSubstitute", &defaults) ||
      !loadFunction(lib, "FcFontMatch", &match) ||
      !loadFunction(lib, "FcPatternGetString", &getString) ||
      !loadFunction(lib, "FcPatternDestroy", &destroyPattern) ||
      !loadFunction(lib, "FcConfigDestroy", &destroyConfig))
    return false;
  bool found = false;
  FcConfig* config = loadConfig();
  FcPattern* pattern = parse(reinterpret_cast<const FcChar8*>("sans-serif"));
  if (config && pattern && substitute(config, pattern, FcMatchPattern)) {
    defaults(pattern);
    FcResult result;
    if (FcPattern* best = match(config, pattern, &result)) {
      FcChar8* file = nullptr;
      if (getString(best, FC_FILE, 0, &file) == FcResultMatch && file) {
        size_t n = std::strlen(reinterpret_cast<const char*>(file));
        found = n < size;
        if (found) std::memcpy(path, file, n + 1);
      }
      destroyPattern(best);
    }
  }
  if (pattern) destroyPattern(pattern);
  if (config) destroyConfig(config);
  return found;
}

int textWidth(const char* text) {
  int w = 0, h = 0;
  return ttf.sizeUtf8(ttf.font, text, &w, &h) == 0 ? w : -1;
}

// Shaded rendering gives one byte per pixel, the palette index running from
// the background (0) to the text colour (255): the coverage itself.
bool renderText(const char* text, TextMask* mask) {
  if (ttf.rendered) SDL_FreeSurface(ttf.rendered);
  ttf.rendered = ttf.renderShaded(ttf.font, text, {255, 255, 255, 255}, {0, 0, 0, 255});
  SDL_Surface* s = ttf.rendered;
  if (!s || s->format->BytesPerPixel != 1 || SDL_MUSTLOCK(s)) return false;
  *mask = {static_cast<const uint8_t*>(s->pixels), s->w, s->h, s->pitch};
  return true;
}

ScalableFont dialogFont;

}  // namespace

bool sdlLoadFont() {
  if (ttf.tried) return ttf.font != nullptr;
  ttf.tried = true;
  if (!loadTtf()) return false;
  static char path[FONT_PATH_SIZE];
  if (findSystemFont(path, sizeof path)) ttf.font = ttf.openFont(path, DIALOG_FONT_PIXELS);
  if (!ttf.font) ttf.font = ttf.openFont(FALLBACK_FONT, DIALOG_FONT_PIXELS);
  if (!ttf.font) return false;
  dialogFont = {ttf.fontHeight(ttf.font), textWidth, renderText};
  fontUseScalable(&dialogFont);
  return true;
}

#else

bool sdlLoadFont() { return false; }

#endif
