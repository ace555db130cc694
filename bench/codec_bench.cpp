// Speed benchmark of the frame decoder and the frame encoder.
//
//   quillo_bench STREAM [--frames N | --seconds S] [--shared DIR] [--reference]
//
// STREAM is one of
//   random64, random80, random118  decoding pseudo-random frames of one rate (fixed seed)
//   mixed                          decoding pseudo-random frames, the rate changing every 1 to 16
//   speech64                       decoding annexD/testmid.1 (6.4 kbit/s conformance speech)
//   speech80                       decoding main/SPEECH.BIT (8 kbit/s conformance speech)
//   speech118                      decoding annexE/lspe.bit (11.8 kbit/s conformance speech)
//   encode64                       encoding annexD/testfile.raw at 6.4 kbit/s
//   encode80                       encoding main/SPEECH.IN at 8 kbit/s
//   encode118                      encoding annexE/LSPE.118 at 11.8 kbit/s
//
// --frames N codes exactly N frames from the program-start state, cycling
// through the stream, and prints a checksum of the output: run it under an
// instruction counter with N and 2N frames and take the difference, which
// leaves out the start-up (reading or generating the stream is the same
// work for both). --seconds S codes for at least S seconds of wall time and
// prints frames per second. --reference runs the exact reference paths
// instead of the fast paths.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codec/basicop/diagnostics.h"
#include "codec/decoder.h"
#include "codec/g192.h"
#include "encoder/encoder.h"

namespace {

struct Frame {
  int rate_mode;
  uint8_t bytes[18];
};

// Frames generated per random stream; decoding cycles through them.
const int RANDOM_STREAM_FRAMES = 4000;

// xorshift32: a fixed, portable sequence.
uint32_t nextRandom(uint32_t* state) {
  uint32_t x = *state;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  *state = x;
  return x;
}

std::vector<Frame> randomStream(int rate_mode) {
  std::vector<Frame> frames(RANDOM_STREAM_FRAMES);
  uint32_t state = 0x51ED2701u + (uint32_t)rate_mode;
  int run = 0;
  int rate = rate_mode;
  for (Frame& f : frames) {
    if (rate_mode < 0) {  // mixed rates
      if (run == 0) {
        rate = (int)(nextRandom(&state) % 3);
        run = 1 + (int)(nextRandom(&state) % 16);
      }
      run--;
    }
    f.rate_mode = rate;
    std::memset(f.bytes, 0, sizeof f.bytes);
    for (int i = 0; i < FRAME_BYTES[rate]; i++) f.bytes[i] = (uint8_t)nextRandom(&state);
  }
  return frames;
}

bool readFile(const std::string& path, std::vector<uint8_t>& out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  std::fclose(f);
  return true;
}

// The frames of a G.192 bitstream up to the first one the decoder cannot take.
std::vector<Frame> bitstream(const std::string& path) {
  std::vector<uint8_t> data;
  std::vector<Frame> frames;
  if (!readFile(path, data)) {
    std::fprintf(stderr, "quillo_bench: cannot read %s\n", path.c_str());
    return frames;
  }
  size_t offset = 0;
  G192Frame g;
  while (g192_read_frame(data.data(), data.size(), &offset, &g) == G192_FRAME) {
    Frame f;
    f.rate_mode = g.rate_mode;
    std::memcpy(f.bytes, g.bytes, sizeof f.bytes);
    frames.push_back(f);
  }
  return frames;
}

// The whole frames of a file of 16-bit little-endian samples.
std::vector<Word16> samples(const std::string& path) {
  std::vector<uint8_t> data;
  std::vector<Word16> out;
  if (!readFile(path, data)) {
    std::fprintf(stderr, "quillo_bench: cannot read %s\n", path.c_str());
    return out;
  }
  size_t n = data.size() / 2 / FRAME_SAMPLES * FRAME_SAMPLES;
  for (size_t i = 0; i < n; i++)
    out.push_back((Word16)(uint16_t)(data[2 * i] | data[2 * i + 1] << 8));
  return out;
}

void ignoreMessage(const char*) {}

int usage() {
  std::fprintf(stderr,
               "usage: quillo_bench random64|random80|random118|mixed|speech64|speech80|"
               "speech118|encode64|encode80|encode118 [--frames N | --seconds S] [--shared DIR] "
               "[--reference]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  std::string stream = argv[1];
  long frames_wanted = -1;
  double seconds = 0;
  std::string shared = QUILLO_SHARED_DIR;
  bool reference = false;
  for (int i = 2; i < argc; i += 2) {
    if (std::strcmp(argv[i], "--reference") == 0) {
      reference = true;
      i--;
    } else if (i + 1 == argc) {
      return usage();
    } else if (std::strcmp(argv[i], "--frames") == 0) {
      frames_wanted = std::atol(argv[i + 1]);
    } else if (std::strcmp(argv[i], "--seconds") == 0) {
      seconds = std::atof(argv[i + 1]);
    } else if (std::strcmp(argv[i], "--shared") == 0) {
      shared = argv[i + 1];
    } else {
      return usage();
    }
  }
  if ((frames_wanted < 0) == (seconds <= 0)) return usage();

  std::vector<Frame> frames;
  std::vector<Word16> speech;
  int encode_rate = -1;
  if (stream == "encode64") {
    speech = samples(shared + "/g729/vectors/annexD/testfile.raw");
    encode_rate = Rate64;
  } else if (stream == "encode80") {
    speech = samples(shared + "/g729/vectors/main/SPEECH.IN");
    encode_rate = Rate80;
  } else if (stream == "encode118") {
    speech = samples(shared + "/g729/vectors/annexE/LSPE.118");
    encode_rate = Rate118;
  } else if (stream == "random64")
    frames = randomStream(Rate64);
  else if (stream == "random80")
    frames = randomStream(Rate80);
  else if (stream == "random118")
    frames = randomStream(Rate118);
  else if (stream == "mixed")
    frames = randomStream(-1);
  else if (stream == "speech64")
    frames = bitstream(shared + "/g729/vectors/annexD/testmid.1");
  else if (stream == "speech80")
    frames = bitstream(shared + "/g729/vectors/main/SPEECH.BIT");
  else if (stream == "speech118")
    frames = bitstream(shared + "/g729/vectors/annexE/lspe.bit");
  else
    return usage();
  if (frames.empty() && speech.empty()) return 1;

  // The LSP repair warnings of odd random frames would otherwise go to
  // standard output and be timed with the decoder.
  set_decoder_message_sink(ignoreMessage);
  decoder_use_reference_paths(reference);
  encoder_use_reference_paths(reference);
  decoder_program_start();
  encoder_program_start();

  Word16 pcm[FRAME_SAMPLES];
  uint8_t coded[18];
  uint32_t checksum = 2166136261u;  // FNV-1a over the samples or frame bytes
  size_t next = 0;
  auto decodeOne = [&]() {
    if (encode_rate >= 0) {
      encode_frame(&speech[next * FRAME_SAMPLES], encode_rate, coded);
      next = (next + 1) * FRAME_SAMPLES == speech.size() ? 0 : next + 1;
      for (int i = 0; i < FRAME_BYTES[encode_rate]; i++)
        checksum = (checksum ^ coded[i]) * 16777619u;
      return;
    }
    const Frame& f = frames[next];
    next = next + 1 == frames.size() ? 0 : next + 1;
    decode_frame(f.bytes, f.rate_mode, pcm);
    for (int i = 0; i < FRAME_SAMPLES; i++) checksum = (checksum ^ (uint16_t)pcm[i]) * 16777619u;
  };

  if (frames_wanted >= 0) {
    for (long n = 0; n < frames_wanted; n++) decodeOne();
    std::printf("%s: %ld frames, checksum %08x\n", stream.c_str(), frames_wanted, checksum);
    return 0;
  }

  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  long decoded = 0;
  double elapsed = 0;
  while (elapsed < seconds) {
    for (int n = 0; n < 1000; n++) decodeOne();
    decoded += 1000;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  }
  std::printf("%s: %ld frames in %.2f s, %.0f frames/s (checksum %08x)\n", stream.c_str(), decoded,
              elapsed, decoded / elapsed, checksum);
  return 0;
}
