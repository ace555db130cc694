// Fixes the exact output of every effect on a fixed input. The same
// checksums must come out of every build we ship (Linux x86-64, both Windows
// builds): the floating-point effects depend on single-precision storage,
// double-precision products and no fused multiply-adds. Plain GoogleTest, no
// files, so that this test also runs cross-built.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "effects/effects.h"

// A deterministic voice-like test signal, integer arithmetic only: two
// triangle waves under a slow envelope plus noise, a stretch near full scale
// (which drives the mix into saturation) and a stretch of silence.
static std::vector<int16_t> testSignal() {
  const int count = 24000;
  std::vector<int16_t> s(count);
  uint32_t noise = 12345;
  for (int n = 0; n < count; n++) {
    noise = noise * 1664525u + 1013904223u;
    int32_t t1 = n % 80, t2 = n % 29;
    int32_t tri1 = (t1 < 40 ? t1 : 80 - t1) * 400 - 8000;  // 100 Hz, +-8000
    int32_t tri2 = (t2 < 15 ? t2 : 29 - t2) * 300 - 2100;  // about 276 Hz
    int32_t env = (n / 50) % 64;                           // 0..63, 400-sample swell
    int32_t v = (tri1 + tri2) * env / 32 + (int32_t)(noise >> 22) - 512;
    if (n >= 15000 && n < 17000) v = (n % 40 < 20) ? 32767 : -32768;
    if (n >= 20000 && n < 21000) v = 0;
    if (v > 32767) v = 32767;
    if (v < -32768) v = -32768;
    s[n] = (int16_t)v;
  }
  return s;
}

// 32-bit FNV-1a over the samples as little-endian bytes.
static uint32_t fnv1a(const std::vector<int16_t>& s) {
  uint32_t h = 2166136261u;
  for (int16_t v : s) {
    uint16_t u = (uint16_t)v;
    h = (h ^ (u & 0xFFu)) * 16777619u;
    h = (h ^ (u >> 8)) * 16777619u;
  }
  return h;
}

// The signal through one effect, fed in buffers of 4080 samples as the
// player does at 8 kbit/s.
static uint32_t effectChecksum(int id, int depth, const std::vector<int16_t>& in) {
  std::vector<int16_t> buf = in;
  resetEffect((int8_t)id, (int8_t)depth);
  for (size_t done = 0; done < buf.size(); done += 4080) {
    size_t len = buf.size() - done < 4080 ? buf.size() - done : 4080;
    applyEffect(buf.data() + done, (int)len);
  }
  return fnv1a(buf);
}

TEST(EffectsChecksum, EveryEffectGivesTheSameBits) {
  static const int DEPTHS[3] = {127, -128, 40};
  // [effect id 1..16][depth 127, -128, 40]
  static const uint32_t EXPECTED[16][3] = {
      {0x688fc370u, 0xdabc97cfu, 0x09159728u},  // 1
      {0xddf371d2u, 0xa8106772u, 0xeba4c5bfu},  // 2
      {0x131f35b1u, 0x356f51d4u, 0xcf088a04u},  // 3
      {0x43f7b662u, 0xa652ce5bu, 0x008155afu},  // 4
      {0xc281b6a6u, 0x41062bdbu, 0x58f0bafau},  // 5
      {0xbdb00309u, 0x593fb873u, 0x17fb04f9u},  // 6
      {0x4fa884fcu, 0x67ede6dfu, 0x7c61ee02u},  // 7
      {0x8700d90bu, 0x76831cfau, 0xc888e036u},  // 8
      {0x0ee4e444u, 0x76106819u, 0x57c7e119u},  // 9
      {0xdd7104c9u, 0x651cf9bdu, 0x2d8b6a13u},  // 10
      {0x0b983410u, 0x93fa4e00u, 0x1844a480u},  // 11
      {0x5ef665a1u, 0x88ebb883u, 0xb24a8a9eu},  // 12
      {0xa6c09bf3u, 0x63bc984cu, 0x5cf63bf8u},  // 13
      {0x4777ba1au, 0x2d95416eu, 0x976b83c7u},  // 14
      {0xb58576f0u, 0x2b3f3efeu, 0x1576fe1fu},  // 15
      {0x3004ca5bu, 0x652290fau, 0x1d864044u},  // 16
  };
  const std::vector<int16_t> in = testSignal();
  EXPECT_EQ(effectChecksum(0, 127, in), fnv1a(in));
  for (int id = 1; id <= 16; id++) {
    for (int k = 0; k < 3; k++) {
      uint32_t got = effectChecksum(id, DEPTHS[k], in);
      EXPECT_EQ(got, EXPECTED[id - 1][k])
          << "effect " << id << " depth " << DEPTHS[k] << ": 0x" << std::hex << got;
    }
  }
}
