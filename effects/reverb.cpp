#include "effects/reverb.h"

#include <cstring>

#include "effects/effect_math.h"

const int32_t REVERB_PRESET[REVERB_PRESET_ROWS][REVERB_PRESET_FIELDS] = {
    // tap steps                       in gain  fb base  damp  step  comb lengths  diff len, gain
    {239, 71, 103, 127, 113, 157, 173, 6656, -24832, 9984, 66, 1117, 1193, 1283, 1327, 1409, 1499,
     63, 3072},
    {263, 73, 113, 149, 127, 179, 193, 7168, -26624, 9472, 68, 1231, 1319, 1447, 1499, 1571, 1693,
     63, 4096},
    {293, 89, 131, 157, 139, 197, 211, 7680, -29696, 8960, 88, 1381, 1471, 1559, 1653, 1733, 1823,
     63, 10240},
    {331, 97, 147, 179, 163, 223, 239, 8192, -31488, 8192, 102, 1511, 1657, 1741, 1847, 1931, 2029,
     63, 12288},
};

const int32_t REVERB_TAP_WEIGHTS[REVERB_TAP_COUNT] = {5632, 5120, 4864, 4352,
                                                      4608, 4096, 1536, 1664};

// Column offsets within a preset row.
enum {
  P_TAP_STEPS = 0,
  P_INPUT_GAIN = 7,
  P_FEEDBACK_BASE = 8,
  P_DAMPING = 9,
  P_DAMPING_STEP = 10,
  P_COMB_LENGTHS = 11,
  P_DIFFUSER_LENGTH = 17,
  P_DIFFUSER_GAIN = 18,
};

static ReverbState state;

const ReverbState& reverbState() { return state; }

void resetReverb(int row) {
  if (row < 1 || row > REVERB_PRESET_ROWS) return;
  const int32_t* p = REVERB_PRESET[row - 1];
  std::memset(&state, 0, sizeof state);  // history, lines, filters, indices
  for (int k = 0; k < REVERB_TAP_COUNT - 1; k++) state.tapSteps[k] = p[P_TAP_STEPS + k];
  for (int i = 0; i < REVERB_COMB_COUNT; i++) {
    int32_t damped = 32767 - p[P_DAMPING] - i * p[P_DAMPING_STEP];
    state.combFeedback[i] = wrapMul32(damped, p[P_FEEDBACK_BASE]) >> 15;
    state.combLength[i] = p[P_COMB_LENGTHS + i];
    state.combLowpass[i] = 0;
    state.combIndex[i] = 0;
  }
  state.combInputGain = p[P_INPUT_GAIN];
  state.combDamping = p[P_DAMPING];
  state.diffuserLength = p[P_DIFFUSER_LENGTH];
  state.diffuserGain = p[P_DIFFUSER_GAIN];
  state.historyIndex = 0;
  state.diffuserIndex = 0;
}

// Stores v in the history and returns the weighted sum of the eight taps
// (>> 15): tap 0 reads the oldest sample (4095 before v), tap k > 0 the
// sample tapSteps[0] + ... + tapSteps[k - 1] - 1 before v.
static int32_t earlyReflections(int32_t v) {
  state.history[state.historyIndex] = v;
  state.historyIndex--;
  if (state.historyIndex < 0) state.historyIndex += REVERB_HISTORY_LENGTH;
  int32_t q = state.historyIndex;
  int32_t sum = wrapMul32(REVERB_TAP_WEIGHTS[0], state.history[q]);
  for (int k = 1; k < REVERB_TAP_COUNT; k++) {
    q += state.tapSteps[k - 1];
    if (q >= REVERB_HISTORY_LENGTH) q -= REVERB_HISTORY_LENGTH;
    sum = wrapAdd32(sum, wrapMul32(REVERB_TAP_WEIGHTS[k], state.history[q]));
  }
  return sum >> 15;
}

int32_t reverbSample(int32_t input) {
  if (state.diffuserLength <= 0) return 0;  // never reset: no valid lengths yet
  state.earlySum = earlyReflections(input);
  int32_t feed = wrapMul32(state.combInputGain, state.earlySum);

  // Six damped combs: each line returns what it took combLength samples ago
  // and stores the early sum plus its low-passed, attenuated return.
  int32_t combSum = 0;
  for (int i = 0; i < REVERB_COMB_COUNT; i++) {
    int32_t* line = state.combLine[i];
    int32_t y = line[state.combIndex[i]];
    int32_t a = wrapAdd32(wrapMul32(state.combFeedback[i], y),
                          wrapMul32(state.combDamping, state.combLowpass[i]));
    state.combLowpass[i] = a >> 15;
    line[state.combIndex[i]] = wrapAdd32(a, feed) >> 15;
    state.combIndex[i]--;
    if (state.combIndex[i] < 0) state.combIndex[i] += state.combLength[i];
    combSum = wrapAdd32(combSum, y);
  }

  // All-pass diffuser.
  int32_t r = state.diffuser[state.diffuserIndex];
  int32_t u = wrapMul32(wrapSub32(combSum, r), state.diffuserGain) >> 15;
  state.diffuser[state.diffuserIndex] = wrapAdd32(combSum, u);
  state.diffuserIndex++;
  if (state.diffuserIndex >= state.diffuserLength) state.diffuserIndex -= state.diffuserLength;
  return wrapAdd32(u, r);
}
