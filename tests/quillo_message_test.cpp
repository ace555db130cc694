// The quillo tool on message files: pack layouts, decode as the player
// plays, info, and every bad input refused without output.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "codec/block_decoder.h"
#include "codec/decoder.h"
#include "effects/effects.h"
#include "playback/message_format.h"
#include "tests/support/sound_files.h"
#include "tests/support/test_support.h"

namespace {

typedef std::vector<uint8_t> Bytes;

typedef testsupport::CommandRun ToolRun;

ToolRun quillo(const std::string& args) { return testsupport::runTool(args); }

std::string temp(const std::string& name) { return testsupport::tempDir() + "/" + name; }

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

const char* RATE_ARG[3] = {"6.4", "8", "11.8"};
const int FRAMES_PER_BLOCK[3] = {64, 51, 28};  // ordinary blocks
const int HEADER_OF_BLOCK[3] = {0, 2, 8};

// Random frames of `rate`. The first byte of every frame has bit 0 set, so
// no 6.4 kbit/s frame can start like another rate's block header.
Bytes randomFrames(int rate, int count, uint32_t seed) {
  std::mt19937 gen(seed);
  Bytes f(static_cast<size_t>(count * FRAME_BYTES[rate]));
  for (auto& b : f) b = static_cast<uint8_t>(gen());
  for (int i = 0; i < count; i++) f[i * FRAME_BYTES[rate]] |= 1;
  return f;
}

// Frame positions of block `b` in an unscrambled packed block.
int firstFrameByte(int rate, int b) { return rate == Rate64 && b == 0 ? 8 : HEADER_OF_BLOCK[rate]; }
int framesInBlock(int rate, int b) {
  return rate == Rate64 && b == 0 ? 63 : FRAMES_PER_BLOCK[rate];
}

// The unscrambled blocks of a packed message file.
std::vector<Bytes> packedBlocks(const Bytes& file) {
  std::vector<Bytes> blocks;
  for (size_t at = PAYLOAD_OFFSET + 12; at + BLOCK_BYTES <= file.size(); at += BLOCK_BYTES) {
    Bytes plain(BLOCK_BYTES);
    scramble_bytes(file.data() + at, plain.data(), BLOCK_BYTES);
    blocks.push_back(plain);
  }
  return blocks;
}

// The frames the player decodes from packed `blocks` of `rate`, decoded one
// by one from the program-start state: the first block once as the first
// block (discarded), then again as an ordinary block, then every later block.
// With `effect` each buffer goes through the effect as well.
std::vector<int16_t> playerReference(int rate, const std::vector<Bytes>& blocks, int effect,
                                     int depth) {
  decoder_program_start();
  reset_frame_decoder();
  resetEffect(static_cast<int8_t>(effect), static_cast<int8_t>(depth));
  std::vector<int16_t> out;
  Word16 pcm[FRAME_SAMPLES];
  const int step = FRAME_BYTES[rate];
  for (size_t b = 0; b < blocks.size(); b++) {
    if (b == 0)
      for (int f = 0; f < framesInBlock(rate, 0); f++)
        decode_frame(blocks[0].data() + firstFrameByte(rate, 0) + f * step, rate, pcm);
    std::vector<int16_t> buffer;
    for (int at = HEADER_OF_BLOCK[rate]; at + step <= BLOCK_BYTES; at += step) {
      decode_frame(blocks[b].data() + at, rate, pcm);
      buffer.insert(buffer.end(), pcm, pcm + FRAME_SAMPLES);
    }
    applyEffect(buffer.data(), static_cast<int>(buffer.size()));
    out.insert(out.end(), buffer.begin(), buffer.end());
  }
  return out;
}

std::vector<int16_t> readRaw(const std::string& path) {
  Bytes b;
  EXPECT_TRUE(testsupport::readFile(path, b)) << path;
  return testsupport::toSamples(b);
}

TEST(QuilloPack, LayoutsOfAllRates) {
  uint32_t seed = testsupport::testSeed(20240601);
  for (int rate = 0; rate < 3; rate++) {
    SCOPED_TRACE(RATE_ARG[rate]);
    const int count = rate == Rate64 ? 63 + 64 + 9 : 2 * FRAMES_PER_BLOCK[rate] + 5;
    Bytes frames = randomFrames(rate, count, seed + rate);
    ASSERT_TRUE(testsupport::writeFile(temp("in.frames"), frames));
    ToolRun r =
        quillo(std::string("pack --rate ") + RATE_ARG[rate] + " --effect 7 --depth-byte 200 " +
               temp("in.frames") + " -o " + temp("p.qlo"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    Bytes file;
    ASSERT_TRUE(testsupport::readFile(temp("p.qlo"), file));
    ASSERT_EQ(file.size(), static_cast<size_t>(PAYLOAD_OFFSET + 12 + 3 * BLOCK_BYTES));
    for (int i = 0; i < PAYLOAD_OFFSET; i++) ASSERT_EQ(file[i], 0);
    const Bytes header(file.begin() + PAYLOAD_OFFSET, file.begin() + PAYLOAD_OFFSET + 12);
    EXPECT_EQ(header, (Bytes{0, 0, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(rate), 0, 7, 200}));

    std::vector<Bytes> blocks = packedBlocks(file);
    const int step = FRAME_BYTES[rate];
    int next = 0;
    Bytes quiet;
    for (int b = 0; b < 3; b++) {
      const Bytes& p = blocks[b];
      const Bytes head(p.begin(), p.begin() + 8);
      if (rate == Rate80) {
        EXPECT_TRUE(p[0] == 0x10 && p[1] == 0);
      } else if (rate == Rate118) {
        EXPECT_EQ(head, (Bytes{0x20, 0, 0, 0, 0, 0, 0, 0}));
      } else if (b == 0) {
        EXPECT_EQ(head, Bytes(8, 0));
      }
      for (int f = 0; f < framesInBlock(rate, b); f++, next++) {
        Bytes got(p.begin() + firstFrameByte(rate, b) + f * step,
                  p.begin() + firstFrameByte(rate, b) + (f + 1) * step);
        if (next < count) {
          ASSERT_EQ(got, Bytes(frames.begin() + next * step, frames.begin() + (next + 1) * step));
        } else {
          if (quiet.empty()) quiet = got;
          ASSERT_EQ(got, quiet) << "padding frames differ";
        }
      }
      // Every block reads as the rate's own layout.
      EXPECT_EQ(block_layout(p.data(), b == 0, b == 0 ? BLOCK_REJECTED : rate).result, rate);
    }
    ASSERT_FALSE(quiet.empty());
    EXPECT_NE(quiet[0] | quiet[1], 0x10);
    EXPECT_NE(quiet[0] | quiet[1], 0x20);
  }
}

TEST(QuilloPack, DecodeReproducesTheFramesWithTheBlockLogic) {
  uint32_t seed = testsupport::testSeed(777);
  for (int rate = 0; rate < 3; rate++) {
    SCOPED_TRACE(RATE_ARG[rate]);
    const int count = rate == Rate64 ? 63 + 64 + 20 : 2 * FRAMES_PER_BLOCK[rate] + 11;
    ASSERT_TRUE(testsupport::writeFile(temp("rt.frames"), randomFrames(rate, count, seed + rate)));
    ASSERT_EQ(quillo(std::string("pack --rate ") + RATE_ARG[rate] + " --effect 3 --depth-byte 27 " +
                     temp("rt.frames") + " -o " + temp("rt.qlo"))
                  .status,
              0);
    ToolRun dry = quillo("decode " + temp("rt.qlo") + " -o " + temp("dry.raw") + " --dry");
    ASSERT_EQ(dry.status, 0) << dry.err;
    ToolRun wet = quillo("decode " + temp("rt.qlo") + " -o " + temp("wet.raw"));
    ASSERT_EQ(wet.status, 0) << wet.err;

    Bytes file;
    ASSERT_TRUE(testsupport::readFile(temp("rt.qlo"), file));
    std::vector<Bytes> blocks = packedBlocks(file);
    ASSERT_EQ(blocks.size(), 3u);
    std::vector<int16_t> want = playerReference(rate, blocks, 0, 0);
    std::vector<int16_t> got = readRaw(temp("dry.raw"));
    ASSERT_EQ(got.size(), static_cast<size_t>(3 * bufferBytesForRate(rate) / 2));
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); i++) ASSERT_EQ(got[i], want[i]) << "sample " << i;

    // With the effect: depth byte 27 is depth 100.
    want = playerReference(rate, blocks, 3, 100);
    got = readRaw(temp("wet.raw"));
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); i++) ASSERT_EQ(got[i], want[i]) << "sample " << i;
  }
}

// Speech the encoder made, rather than random frames: `quillo encode` at each
// rate, packed, plays as the frame decoder decodes the packed frames, and
// the blocks carry the encoded frames unchanged.
TEST(QuilloPack, EncodedSpeechPlaysAsItsFrames) {
  std::vector<int16_t> speech = testsupport::toShort(testsupport::synthetic(150 * 80, 0.5));
  Bytes raw;
  for (int16_t v : speech) {
    raw.push_back(static_cast<uint8_t>(v));
    raw.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
  }
  ASSERT_TRUE(testsupport::writeFile(temp("speech.raw"), raw));
  for (int rate = 0; rate < 3; rate++) {
    SCOPED_TRACE(RATE_ARG[rate]);
    const std::string r = std::string("--rate ") + RATE_ARG[rate] + " ";
    ToolRun enc = quillo("encode " + r + temp("speech.raw") + " -o " + temp("speech.bit"));
    ASSERT_EQ(enc.status, 0) << enc.err;
    ToolRun pack = quillo("pack " + r + temp("speech.bit") + " -o " + temp("speech.qlo"));
    ASSERT_EQ(pack.status, 0) << pack.err;
    EXPECT_EQ(pack.err, "");  // no block reads as another rate
    ToolRun dec = quillo("decode " + temp("speech.qlo") + " --dry -o " + temp("decoded.raw"));
    ASSERT_EQ(dec.status, 0) << dec.err;

    Bytes frames, file;
    ASSERT_TRUE(testsupport::readFile(temp("speech.bit"), frames));
    ASSERT_EQ(frames.size(), 150u * FRAME_BYTES[rate]);
    ASSERT_TRUE(testsupport::readFile(temp("speech.qlo"), file));
    std::vector<Bytes> blocks = packedBlocks(file);
    Bytes carried;
    for (size_t b = 0; b < blocks.size(); b++) {
      int first = firstFrameByte(rate, static_cast<int>(b));
      int bytes = framesInBlock(rate, static_cast<int>(b)) * FRAME_BYTES[rate];
      carried.insert(carried.end(), blocks[b].begin() + first, blocks[b].begin() + first + bytes);
    }
    ASSERT_GE(carried.size(), frames.size());
    EXPECT_TRUE(std::equal(frames.begin(), frames.end(), carried.begin()));

    std::vector<int16_t> want = playerReference(rate, blocks, 0, 0);
    std::vector<int16_t> got = readRaw(temp("decoded.raw"));
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); i++) ASSERT_EQ(got[i], want[i]) << "sample " << i;
  }
}

TEST(QuilloPack, PaddedTailIsQuiet) {
  uint32_t seed = testsupport::testSeed(4242);
  for (int rate = 0; rate < 3; rate++) {
    SCOPED_TRACE(RATE_ARG[rate]);
    // One real frame less than a block and a half: the last block is mostly padding.
    const int real = rate == Rate64 ? 63 + 16 : FRAMES_PER_BLOCK[rate] + 6;
    ASSERT_TRUE(testsupport::writeFile(temp("q.frames"), randomFrames(rate, real, seed + rate)));
    ASSERT_EQ(quillo(std::string("pack --rate ") + RATE_ARG[rate] + " " + temp("q.frames") +
                     " -o " + temp("q.qlo"))
                  .status,
              0);
    ASSERT_EQ(quillo("decode " + temp("q.qlo") + " -o " + temp("q.raw") + " --dry").status, 0);
    std::vector<int16_t> pcm = readRaw(temp("q.raw"));
    const int buffer = bufferBytesForRate(rate) / 2;
    ASSERT_EQ(static_cast<int>(pcm.size()), 2 * buffer);
    // The padding starts at frame `realInLast` of the last buffer; allow the
    // filters 4 frames (40 ms) to die away.
    const int realInLast = rate == Rate64 ? 16 : 6;
    int peak = 0;
    for (int i = buffer + (realInLast + 4) * FRAME_SAMPLES; i < 2 * buffer; i++)
      peak = std::max(peak, std::abs(static_cast<int>(pcm[i])));
    std::printf("[ level    ] %s kbit/s padding peak after 40 ms: %d\n", RATE_ARG[rate], peak);
    EXPECT_LE(peak, 32);  // -60 dBFS
  }
}

TEST(QuilloPack, PlayerIsPaddedAndStaysExecutable) {
  Bytes player(1000, 0xAB);
  ASSERT_TRUE(testsupport::writeFile(temp("player"), player));
  ASSERT_EQ(chmod(temp("player").c_str(), 0755), 0);
  ASSERT_TRUE(testsupport::writeFile(temp("one.frames"), randomFrames(Rate80, 1, 1)));
  ToolRun r = quillo("pack --rate 8 --player " + temp("player") + " " + temp("one.frames") +
                     " -o " + temp("exe.qlo"));
  ASSERT_EQ(r.status, 0) << r.err;
  Bytes file;
  ASSERT_TRUE(testsupport::readFile(temp("exe.qlo"), file));
  ASSERT_EQ(file.size(), static_cast<size_t>(PAYLOAD_OFFSET + 12 + BLOCK_BYTES));
  EXPECT_EQ(file[999], 0xAB);
  EXPECT_EQ(file[1000], 0);
  struct stat st;
  ASSERT_EQ(stat(temp("exe.qlo").c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
}

TEST(QuilloPack, WarnsAboutBlocksThatReadAsAnotherRate) {
  Bytes frames = randomFrames(Rate64, 63 + 64 + 64, 5);
  frames[63 * 8] = 0x00;  // first frame of block 1: 0x00 0x10
  frames[63 * 8 + 1] = 0x10;
  frames[127 * 8] = 0x20;  // first frame of block 2: 0x20 0x00
  frames[127 * 8 + 1] = 0x00;
  ASSERT_TRUE(testsupport::writeFile(temp("look.frames"), frames));
  ToolRun r = quillo("pack --rate 6.4 " + temp("look.frames") + " -o " + temp("look.qlo"));
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("warning: block 1 "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("warning: block 2 "), std::string::npos) << r.err;

  ToolRun info = quillo("info " + temp("look.qlo"));
  EXPECT_EQ(info.status, 3);
  EXPECT_NE(info.out.find("rejected: 2, the first is block 1 at 00:00:01"), std::string::npos)
      << info.out;
}

TEST(QuilloInfo, DescribesAMessage) {
  ASSERT_TRUE(testsupport::writeFile(temp("i.frames"), randomFrames(Rate80, 1309, 9)));
  ASSERT_EQ(quillo("pack --rate 8 --effect 12 --depth-byte 255 " + temp("i.frames") + " -o " +
                   temp("i.qlo"))
                .status,
            0);
  ToolRun r = quillo("info " + temp("i.qlo"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("rate:     8 kbit/s (rate code 1)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("effect:   12, pitch shift"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("depth:    -128 (depth byte 255)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("length:   00:00:13"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("blocks:   26\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("rejected: 0"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("short:"), std::string::npos) << r.out;

  // Cut 100 bytes: a short last block, still 26 buffers when decoded.
  Bytes file;
  ASSERT_TRUE(testsupport::readFile(temp("i.qlo"), file));
  file.resize(file.size() - 100);
  ASSERT_TRUE(testsupport::writeFile(temp("cut.qlo"), file));
  r = quillo("info " + temp("cut.qlo"));
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("the last block has 412 of 512 bytes"), std::string::npos) << r.out;
  ASSERT_EQ(quillo("decode --dry " + temp("cut.qlo") + " -o " + temp("cut.raw")).status, 0);
  EXPECT_EQ(readRaw(temp("cut.raw")).size(), 26u * 4080);
}

TEST(QuilloInfo, RateSwitchesAreRejectedOrMismatched) {
  // An 8 kbit/s message whose third block is 11.8 kbit/s, fourth 6.4 kbit/s
  // and fifth 8 kbit/s again: the third and fifth are rejected, the fourth
  // plays cut to the 8 kbit/s buffer.
  Bytes file(PAYLOAD_OFFSET, 0);
  Bytes header = {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
  file.insert(file.end(), header.begin(), header.end());
  const uint8_t first[5][2] = {{0x10, 0}, {0x10, 0}, {0x20, 0}, {0x44, 0x44}, {0x00, 0x10}};
  for (auto& f : first) {
    Bytes plain(BLOCK_BYTES, 0x44);
    plain[0] = f[0];
    plain[1] = f[1];
    if (f[0] == 0x20) std::fill(plain.begin() + 1, plain.begin() + 8, 0);
    Bytes block(BLOCK_BYTES);
    scramble_bytes(plain.data(), block.data(), BLOCK_BYTES);
    file.insert(file.end(), block.begin(), block.end());
  }
  ASSERT_TRUE(testsupport::writeFile(temp("switch.qlo"), file));
  ToolRun r = quillo("info " + temp("switch.qlo"));
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.out.find("rejected: 2, the first is block 2 at 00:00:01"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("mismatch: 1 blocks are not at the header's rate, the first is block 3 "
                       "(6.4 kbit/s)"),
            std::string::npos)
      << r.out;
  ASSERT_EQ(quillo("decode " + temp("switch.qlo") + " -o " + temp("switch.raw")).status, 0);
  std::vector<int16_t> pcm = readRaw(temp("switch.raw"));
  ASSERT_EQ(pcm.size(), 5u * 4080);
  for (int i = 2 * 4080; i < 3 * 4080; i++) ASSERT_EQ(pcm[i], 0);  // rejected: silence
}

TEST(QuilloMessage, EmptyPayloadIsAValidMessage) {
  for (size_t size :
       {static_cast<size_t>(PAYLOAD_OFFSET), static_cast<size_t>(PAYLOAD_OFFSET + 12)}) {
    Bytes file(size, 0);
    if (size > static_cast<size_t>(PAYLOAD_OFFSET)) file[PAYLOAD_OFFSET + 8] = 2;
    ASSERT_TRUE(testsupport::writeFile(temp("empty.qlo"), file));
    ToolRun r = quillo("info " + temp("empty.qlo"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("length:   00:00:00"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("blocks:   0\n"), std::string::npos) << r.out;
    r = quillo("decode " + temp("empty.qlo") + " -o " + temp("empty.wav"));
    EXPECT_EQ(r.status, 0) << r.err;
    Bytes wav;
    ASSERT_TRUE(testsupport::readFile(temp("empty.wav"), wav));
    EXPECT_EQ(wav.size(), 44u);
  }
  // Packing no frames gives the header and no block.
  ASSERT_TRUE(testsupport::writeFile(temp("none.frames"), Bytes()));
  ASSERT_EQ(quillo("pack --rate 11.8 " + temp("none.frames") + " -o " + temp("none.qlo")).status,
            0);
  Bytes file;
  ASSERT_TRUE(testsupport::readFile(temp("none.qlo"), file));
  EXPECT_EQ(file.size(), static_cast<size_t>(PAYLOAD_OFFSET + 12));
}

// A bad input gives one line naming the file on stderr, a non-zero status and
// no output file.
void expectRefused(const std::string& args, const std::string& named, const std::string& out) {
  ToolRun r = quillo(args);
  EXPECT_NE(r.status, 0) << args;
  EXPECT_NE(r.err.find(named), std::string::npos) << args << ": " << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_FALSE(exists(out)) << args;
  EXPECT_FALSE(exists(out + ".part")) << args;
}

TEST(QuilloMessage, BadInputsAreRefused) {
  const std::string out = temp("never.wav");
  const std::string missing = temp("missing.qlo");
  const std::string shortFile = temp("short.qlo");
  ASSERT_TRUE(testsupport::writeFile(shortFile, Bytes(PAYLOAD_OFFSET - 1, 0)));
  const std::string dir = testsupport::tempDir();
  for (const std::string& bad : {missing, shortFile, dir}) {
    expectRefused("decode " + bad + " -o " + out, bad + ":", out);
    expectRefused("info " + bad, bad + ":", out);
  }
  EXPECT_NE(quillo("info " + shortFile).err.find("98303 bytes"), std::string::npos);

  const std::string msg = temp("never.qlo");
  ASSERT_TRUE(testsupport::writeFile(temp("odd.frames"), Bytes(25, 1)));
  ASSERT_TRUE(testsupport::writeFile(temp("ok.frames"), Bytes(20, 1)));
  ASSERT_TRUE(testsupport::writeFile(temp("big.player"), Bytes(PAYLOAD_OFFSET + 1, 1)));
  expectRefused("pack --rate 8 " + missing + " -o " + msg, missing + ":", msg);
  expectRefused("pack --rate 8 " + temp("odd.frames") + " -o " + msg, "odd.frames:", msg);
  expectRefused(
      "pack --rate 8 --player " + temp("big.player") + " " + temp("ok.frames") + " -o " + msg,
      "big.player:", msg);
  expectRefused("pack --rate 8 --player " + missing + " " + temp("ok.frames") + " -o " + msg,
                missing + ":", msg);
  expectRefused("pack --rate 9 " + temp("ok.frames") + " -o " + msg, "--rate 9", msg);
  expectRefused("pack --rate 8 --effect 17 " + temp("ok.frames") + " -o " + msg, "--effect 17",
                msg);
  expectRefused("pack --rate 8 --depth-byte 256 " + temp("ok.frames") + " -o " + msg,
                "--depth-byte 256", msg);
  expectRefused("pack " + temp("ok.frames") + " -o " + msg, "usage", msg);
  expectRefused("decode " + temp("ok.frames"), "usage", out);
}

}  // namespace
