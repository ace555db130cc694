#include "tools/quillo/effect_names.h"

#include <cstdio>
#include <cstdlib>
#include <strings.h>

#include "effects/mod_delay.h"
#include "effects/pitch_shift.h"
#include "effects/reverb.h"

namespace {

const char* const NAMES[EFFECT_CHOICES] = {
    "none",    "room",     "chamber", "hall",         "cathedral",   "echo",
    "flanger", "jet",      "doubler", "tunnel",       "warble",      "deep",
    "high",    "chipmunk", "cascade", "falling-echo", "rising-echo",
};

// What each preset sounds like, beyond its figures.
const char* const CHARACTER[EFFECT_CHOICES] = {
    "the voice as recorded",
    "small room",
    "larger room",
    "concert hall",
    "large church",
    "repeating echo",
    "sweeping comb filter",
    "flanger with inverted feedback, a jet-like whoosh",
    "a second voice drifting behind the first",
    "short resonant echo, as in a pipe",
    "fast wavering echo",
    "lower voice",
    "higher voice",
    "an octave up",
    "higher voice whose repeats climb further",
    "lower voice with a falling echo",
    "higher voice with a rising echo",
};

const double SAMPLE_RATE = 8000.0;

// Milliseconds of a delay of `samples`.
int ms(double samples) { return static_cast<int>(samples * 1000.0 / SAMPLE_RATE + 0.5); }

}  // namespace

const char* effectName(int id) { return id >= 0 && id < EFFECT_CHOICES ? NAMES[id] : "unknown"; }

std::string effectDescription(int id) {
  if (id < 0 || id >= EFFECT_CHOICES) return "plays without effect";
  char figures[160] = "";
  if (id >= 1 && id <= 4) {
    const int32_t* p = REVERB_PRESET[id - 1];
    // Fields 11..16: the comb lengths; field 8: the base feedback in Q15.
    std::snprintf(figures, sizeof figures, ": reverberation, combs of %d to %d ms, feedback %.2f",
                  ms(p[11]), ms(p[16]), -p[8] / 32768.0);
  } else if (id >= 5 && id <= 10) {
    const float* p = MOD_DELAY_PRESET[id - 5];
    // The delay runs from 16 * offset + 3 to 16 * (offset + sweep) + 3 samples.
    double low = 16.0 * p[4] + 3, high = 16.0 * (p[4] + p[3]) + 3;
    if (p[3] == 0.0f)
      std::snprintf(figures, sizeof figures, ": delay of %d ms, feedback %.2f", ms(low), p[1]);
    else
      std::snprintf(figures, sizeof figures, ": delay sweeping %d to %d ms, feedback %.2f", ms(low),
                    ms(high), p[1]);
  } else if (id >= 11) {
    const float* p = PITCH_SHIFT_PRESET[id - 11];
    std::snprintf(figures, sizeof figures, ": pitch x %.2f%s", 1.0 + p[2],
                  p[1] > 0.0f ? (p[4] > 0.0f ? ", with a delayed repeat" : ", fed back") : "");
  }
  return std::string(CHARACTER[id]) + figures;
}

int effectIdOf(const char* text) {
  char* end = nullptr;
  long id = std::strtol(text, &end, 10);
  if (end != text && *end == '\0')
    return id >= 0 && id < EFFECT_CHOICES ? static_cast<int>(id) : -1;
  for (int i = 0; i < EFFECT_CHOICES; i++)
    if (strcasecmp(text, NAMES[i]) == 0) return i;
  return -1;
}
