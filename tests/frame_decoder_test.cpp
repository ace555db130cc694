// The frame decoder: pitch parity and its substitution, pitch sharpening,
// the post-filter weights of 11.8 kbit/s, and what a reset keeps compared
// with a program start.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <vector>

#include "codec/tables/tables.h"
#include "tests/support/frame_builder.h"
#include "tests/support/test_support.h"

#include "dispersion.h"
#include "frame_decoder.h"
#include "gain.h"
#include "lsp.h"
#include "pitch.h"

// Counts every allocation of this test program, to show that decoding
// allocates nothing.
static int allocations = 0;
void* operator new(std::size_t n) {
  allocations++;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using testsupport::buildFrame;
using testsupport::pitchParity;

namespace {

std::vector<Word16> decode(int rate, const std::vector<int>& fields) {
  std::vector<uint8_t> bytes = buildFrame(rate, fields);
  std::vector<Word16> pcm(FRAME_SAMPLES);
  decode_frame(bytes.data(), rate, pcm.data());
  return pcm;
}

// Random fields for `count` frames of one rate.
std::vector<std::vector<int>> randomFrames(int rate, int count, std::mt19937& rng) {
  std::vector<std::vector<int>> frames;
  for (int i = 0; i < count; i++) {
    std::vector<int> f;
    for (int width : testsupport::frameFieldWidths(rate))
      f.push_back((int)(rng() & ((1u << width) - 1)));
    frames.push_back(f);
  }
  return frames;
}

std::vector<Word16> decodeAll(int rate, const std::vector<std::vector<int>>& frames) {
  std::vector<Word16> out;
  for (const std::vector<int>& f : frames) {
    std::vector<Word16> pcm = decode(rate, f);
    out.insert(out.end(), pcm.begin(), pcm.end());
  }
  return out;
}

// A voiced-looking 8 kbit/s frame: first delay index `p1`, subframe 2 index `p2`.
std::vector<int> frame80(int p1, int parity, int p2) {
  return {0x35, 0x1A3, p1, parity, 0x0555, 0x5, 0x2B, p2, 0x1AAA, 0xA, 0x2B};
}

// An 11.8 kbit/s frame with the given first delay index and parity bit.
std::vector<int> frame118(int p1, int parity, int p2) {
  return {0x35, 0x1A3, p1,   parity, 0x12, 0x34, 0x56, 0x78, 0x1A,
          0x2B, p2,    0x21, 0x43,   0x65, 0x07, 0x19, 0x2B};
}

}  // namespace

TEST(PitchParity, AgreesWithTheCountOfBitsTwoToSeven) {
  for (int index = 0; index < 256; index++) {
    int ones = 0;
    for (int b = 2; b <= 7; b++) ones += (index >> b) & 1;
    for (int parity = 0; parity < 2; parity++) {
      int good = (ones + parity) % 2 == 1;
      EXPECT_EQ(check_pitch_parity((Word16)index, (Word16)parity), good ? 0 : 1)
          << "index " << index << " parity " << parity;
    }
  }
}

TEST(PitchParity, FailureAtEightKbitUsesTheLastDelay) {
  decoder_program_start();
  // Index 100 would decode to 53 (fraction -1); with a wrong parity bit the
  // subframe uses the reset delay 60 instead.
  decode(Rate80, frame80(100, 1 - pitchParity(100), 5));
  EXPECT_EQ(frame_decoder_state.first_delay, 60);
  // Subframe 2 decodes its relative index around 60: T0_min 55, index 5 -> 56.
  EXPECT_EQ(frame_decoder_state.last_delay, 56);
  EXPECT_EQ(frame_decoder_state.last_frac, 0);

  decoder_program_start();
  decode(Rate80, frame80(100, pitchParity(100), 5));
  EXPECT_EQ(frame_decoder_state.first_delay, 53);
}

TEST(PitchParity, FailureAtElevenKbitUsesLastDelayAndFraction) {
  decoder_program_start();
  // Index 101: 53 with fraction 0; bit 1 of the index is 0, so both parity
  // rules agree and the frame passes.
  decode(Rate118, frame118(101, pitchParity(101, 1), 5));
  EXPECT_EQ(frame_decoder_state.first_delay, 53);
  Word16 delay = frame_decoder_state.last_delay;

  // Index 130 (62 2/3, taken as 63 with fraction -1) has bit 1 set: a
  // parity bit right for bits 2 to 7 alone fails.
  ASSERT_NE(pitchParity(130, 1), pitchParity(130, 2));
  ASSERT_NE(delay, 63);
  decode(Rate118, frame118(130, pitchParity(130, 2), 5));
  EXPECT_EQ(frame_decoder_state.first_delay, delay);
  decode(Rate118, frame118(130, pitchParity(130, 1), 5));
  EXPECT_EQ(frame_decoder_state.first_delay, 63);
}

TEST(PitchSharpening, AddsTheDelayedVectorReadingChangedEntries) {
  Word16 code[40] = {0};
  code[3] = 8191;
  code[10] = -8192;
  Word16 orig[40];
  std::memcpy(orig, code, sizeof code);

  // Delay 25: entries 28 and 35 get a part of the unchanged 3 and 10.
  sharpen_code(code, 25, 13017);
  Word16 part = mult(8191, 26034), part2 = mult(-8192, 26034);
  for (int i = 0; i < 40; i++) {
    Word16 want = orig[i];
    if (i == 28) want = part;
    if (i == 35) want = part2;
    EXPECT_EQ(code[i], want) << i;
  }

  // Delay 15: 18 and 25 from the pulses, then 33 from the changed 18.
  std::memcpy(code, orig, sizeof code);
  sharpen_code(code, 15, 3277);
  Word16 f = 6554;
  EXPECT_EQ(code[18], mult(8191, f));
  EXPECT_EQ(code[25], mult(-8192, f));
  EXPECT_EQ(code[33], mult(mult(8191, f), f));
  EXPECT_EQ(code[40 - 1], orig[39]);

  // Delay 40 or more leaves the vector alone.
  std::memcpy(code, orig, sizeof code);
  sharpen_code(code, 40, 13017);
  sharpen_code(code, 143, 13017);
  EXPECT_EQ(0, std::memcmp(code, orig, sizeof code));
}

TEST(PostfilterWeights, ElevenKbitFromResetStaysAtTheLimits) {
  decoder_program_start();
  std::mt19937 rng(testsupport::testSeed(17));
  for (const std::vector<int>& f : randomFrames(Rate118, 5, rng)) {
    decode(Rate118, f);
    EXPECT_EQ(frame_decoder_state.pf_den_weight, 22938);
    EXPECT_EQ(frame_decoder_state.pf_num_weight, 21300);
    EXPECT_EQ(frame_decoder_state.pf_pitch_weight, 8192);
    EXPECT_EQ(frame_decoder_state.pf_response_length, 32);
  }
}

TEST(PostfilterWeights, ElevenKbitAfterOtherRatesApproachesItsWeights) {
  decoder_program_start();
  std::mt19937 rng(testsupport::testSeed(19));
  decode(Rate80, randomFrames(Rate80, 1, rng)[0]);
  EXPECT_EQ(frame_decoder_state.pf_pitch_weight, 16384);
  EXPECT_EQ(frame_decoder_state.pf_num_weight, 18022);
  EXPECT_EQ(frame_decoder_state.pf_response_length, 20);

  const Word16 num[] = {19087, 20152, 21217, 21300, 21300};
  std::vector<std::vector<int>> frames = randomFrames(Rate118, 5, rng);
  for (int i = 0; i < 5; i++) {
    decode(Rate118, frames[(size_t)i]);
    EXPECT_EQ(frame_decoder_state.pf_pitch_weight, 8192) << i;
    EXPECT_EQ(frame_decoder_state.pf_den_weight, 22938) << i;
    EXPECT_EQ(frame_decoder_state.pf_num_weight, num[i]) << i;
  }
  decode(Rate64, randomFrames(Rate64, 1, rng)[0]);
  EXPECT_EQ(frame_decoder_state.pf_pitch_weight, 16384);
  EXPECT_EQ(frame_decoder_state.pf_den_weight, 22938);
  EXPECT_EQ(frame_decoder_state.pf_num_weight, 18022);
}

TEST(DecoderLifetime, ProgramStartRepeatsTheFirstRunExactly) {
  std::mt19937 rng(testsupport::testSeed(23));
  std::vector<std::vector<int>> a = randomFrames(Rate80, 20, rng);
  std::vector<std::vector<int>> b = randomFrames(Rate64, 20, rng);
  std::vector<std::vector<int>> c = randomFrames(Rate118, 20, rng);

  decoder_program_start();
  std::vector<Word16> first = decodeAll(Rate80, a);
  std::vector<Word16> first64 = decodeAll(Rate64, b);
  decodeAll(Rate118, c);

  decoder_program_start();
  EXPECT_EQ(decodeAll(Rate80, a), first);
  EXPECT_EQ(decodeAll(Rate64, b), first64);
}

TEST(DecoderLifetime, ResetKeepsTheProgramLongMemories) {
  std::mt19937 rng(testsupport::testSeed(29));
  std::vector<std::vector<int>> a = randomFrames(Rate64, 30, rng);
  decoder_program_start();
  std::vector<Word16> first = decodeAll(Rate64, a);

  LspDecoderState lsp = lsp_decoder_state;
  GainPredictorState gain = gain_predictor_state;
  PitchTrackState pitch = pitch_track_state;
  reset_frame_decoder();

  // Kept: previous LSPs, gain prediction, stable pitch delay.
  EXPECT_EQ(0,
            std::memcmp(lsp.previous_lsp, lsp_decoder_state.previous_lsp, sizeof lsp.previous_lsp));
  EXPECT_EQ(0, std::memcmp(&gain, &gain_predictor_state, sizeof gain));
  EXPECT_EQ(pitch.stable_delay, pitch_track_state.stable_delay);
  EXPECT_EQ(pitch.stable_frac, pitch_track_state.stable_frac);
  // Reset: prediction memory, pitch tracking, the frame decoder's own state.
  for (int k = 0; k < 4; k++)
    for (int j = 0; j < 10; j++) EXPECT_EQ(lsp_decoder_state.ma_memory[k][j], LSF_RESET[j]);
  EXPECT_EQ(pitch_track_state.previous_delay, 30);
  EXPECT_EQ(pitch_track_state.stable_count, 0);
  EXPECT_EQ(frame_decoder_state.last_delay, 60);
  EXPECT_EQ(frame_decoder_state.last_frac, 0);
  EXPECT_EQ(frame_decoder_state.sharpening, 3277);
  EXPECT_EQ(frame_decoder_state.pf_num_weight, 21300);
  for (int i = 0; i < 154; i++) ASSERT_EQ(frame_decoder_state.excitation_buffer[i], 0) << i;
  for (Word16 w : frame_decoder_state.speech_buffer) ASSERT_EQ(w, 0);
  for (Word16 w : frame_decoder_state.synthesis_memory) ASSERT_EQ(w, 0);

  // A second playback therefore sounds different from the first at its
  // start (subframe 1 interpolates from the last LSPs, gains predict from
  // the last energies) ...
  std::vector<Word16> second = decodeAll(Rate64, a);
  EXPECT_NE(std::vector<Word16>(second.begin(), second.begin() + 80),
            std::vector<Word16>(first.begin(), first.begin() + 80));
  // ... while a program start reproduces the first playback.
  decoder_program_start();
  for (int j = 0; j < 10; j++) EXPECT_EQ(lsp_decoder_state.previous_lsp[j], LSP_START[j]);
  for (int k = 0; k < 4; k++) EXPECT_EQ(gain_predictor_state.past_energy[k], -14336);
  EXPECT_EQ(decodeAll(Rate64, a), first);
}

TEST(DecodeFrame, AllocatesNothing) {
  std::mt19937 rng(testsupport::testSeed(43));
  std::vector<std::vector<uint8_t>> frames[3];
  for (int rate = 0; rate < 3; rate++)
    for (const std::vector<int>& f : randomFrames(rate, 20, rng))
      frames[rate].push_back(buildFrame(rate, f));
  Word16 pcm[FRAME_SAMPLES];
  allocations = 0;
  decoder_program_start();
  for (int rate = 0; rate < 3; rate++)
    for (const std::vector<uint8_t>& f : frames[rate]) decode_frame(f.data(), rate, pcm);
  reset_frame_decoder();
  EXPECT_EQ(allocations, 0);
}

TEST(DecodeFrame, UnknownRateModeGivesSilence) {
  decoder_program_start();
  uint8_t bytes[18];
  std::memset(bytes, 0x5A, sizeof bytes);
  Word16 pcm[80];
  for (Word16& s : pcm) s = 99;
  decode_frame(bytes, 3, pcm);
  for (Word16 s : pcm) EXPECT_EQ(s, 0);
  decode_frame(bytes, -1, pcm);
  for (Word16 s : pcm) EXPECT_EQ(s, 0);
}
