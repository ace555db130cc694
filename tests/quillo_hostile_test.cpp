// The quillo tool on damaged and hostile message files: header fields with
// values no packer writes, messages cut inside the header or a block, blocks
// that are all rejected, and memory that must not grow with the message.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codec/block_decoder.h"
#include "codec/decoder.h"
#include "playback/message_format.h"
#include "tests/support/test_support.h"

namespace {

typedef std::vector<uint8_t> Bytes;

struct ToolRun {
  int status = -1;
  std::string out, err;
  long maxRssKb = 0;  // peak resident memory of the tool, read as it exits
};

std::string temp(const std::string& name) { return testsupport::tempDir() + "/" + name; }

std::string readText(const std::string& path) {
  Bytes b;
  testsupport::readFile(path, b);
  return std::string(b.begin(), b.end());
}

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Peak resident memory in KB of the running program `pid` once it is the
// tool (its own, not that of the test process it was forked from), or -1.
long toolPeakKb(pid_t pid) {
  std::string status = readText("/proc/" + std::to_string(pid) + "/status");
  if (!has(status, "Name:\tquillo\n")) return -1;
  size_t at = status.find("VmHWM:");
  return at == std::string::npos ? -1 : std::strtol(status.c_str() + at + 6, nullptr, 10);
}

// Runs the tool with `args`; standard output goes to `out` when given (it is
// then not kept), else it is kept in the result. The tool runs traced, so
// that it stops as it exits, with its memory still in place, and its peak
// memory can be read then: a run of a few milliseconds ends too soon to be
// caught by sampling on a busy machine. (Leak checking, which would trace
// the tool itself at exit, is off for the tool.)
ToolRun quillo(std::vector<std::string> args, const char* out = nullptr) {
  const std::string outPath = out ? out : temp("tool.out"), errPath = temp("tool.err");
  args.insert(args.begin(), QUILLO_TOOL_PATH);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  ToolRun r;
  pid_t pid = fork();
  if (pid == 0) {
    int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(126);
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    // Where tracing is forbidden the tool runs untraced; only the memory
    // reading is lost then (maxRssKb stays 0).
    ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (pid < 0) return r;
  int raw = 0;
  bool options = false;
  for (;;) {
    if (waitpid(pid, &raw, 0) != pid) return r;
    if (!WIFSTOPPED(raw)) break;
    int signal = 0;
    if (!options) {  // the stop after exec: ask for the stop at exit
      ptrace(PTRACE_SETOPTIONS, pid, nullptr, (void*)(long)PTRACE_O_TRACEEXIT);
      options = true;
    } else if ((raw >> 8) == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
      long peak = toolPeakKb(pid);
      if (peak > r.maxRssKb) r.maxRssKb = peak;
    } else {
      signal = WSTOPSIG(raw);  // a signal of the tool's own: deliver it
    }
    ptrace(PTRACE_CONT, pid, nullptr, (void*)(long)signal);
  }
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  if (!out) r.out = readText(outPath);
  r.err = readText(errPath);
  return r;
}

Bytes header(uint8_t rateCode, uint8_t effect, uint8_t depthByte) {
  return {0, 0, 0, 0, 0, 0, 0, 0, rateCode, 0, effect, depthByte};
}

// Scrambled 8 kbit/s blocks with patterned frames.
Bytes blocks80(int count) {
  Bytes all;
  for (int b = 0; b < count; b++) {
    Bytes plain(BLOCK_BYTES);
    for (int i = 0; i < BLOCK_BYTES; i++) plain[i] = static_cast<uint8_t>(29 * i + 7 * b + 3);
    plain[0] = 0x10;
    plain[1] = 0x00;
    Bytes block(BLOCK_BYTES);
    scramble_bytes(plain.data(), block.data(), BLOCK_BYTES);
    all.insert(all.end(), block.begin(), block.end());
  }
  return all;
}

// A message file: a player of zeros, then `payload`.
std::string writeMessage(const std::string& name, const Bytes& payload) {
  std::string path = testsupport::writeMessageFile(name, payload);
  EXPECT_FALSE(path.empty());
  return path;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(QuilloHostile, HeaderFieldsNoPackerWrites) {
  // Rate codes above 1, effect ids outside 0..16 and every kind of depth
  // byte: info names what the player makes of them, decode plays them.
  const int rates[] = {2, 3, 127, 128, 255};
  const int effects[] = {-128, -1, 17, 127, 3};
  const int depths[] = {0, 127, 128, 255, 127};
  const char* depthText[] = {"127", "0", "-1", "-128", "0"};
  for (int i = 0; i < 5; i++) {
    SCOPED_TRACE(i);
    std::string m = writeMessage(
        "fields.qlo", header(static_cast<uint8_t>(rates[i]), static_cast<uint8_t>(effects[i]),
                             static_cast<uint8_t>(depths[i])) +
                          blocks80(2));
    ToolRun info = quillo({"info", m});
    // 8 kbit/s blocks under an 11.8 kbit/s header: reported as a mismatch.
    EXPECT_EQ(info.status, 3) << info.err;
    EXPECT_TRUE(has(info.out, "rate:     11.8 kbit/s (rate code " + std::to_string(rates[i])))
        << info.out;
    std::string family = effects[i] == 3 ? "reverberation" : "unknown (plays without effect)";
    EXPECT_TRUE(has(info.out, "effect:   " + std::to_string(effects[i]) + ", " + family))
        << info.out;
    EXPECT_TRUE(has(info.out, std::string("depth:    ") + depthText[i] + " (depth byte " +
                                  std::to_string(depths[i]) + ")"))
        << info.out;
    EXPECT_TRUE(has(info.out, "mismatch: 2 blocks")) << info.out;

    // Unknown effects, and any effect at depth 0, play exactly as --dry.
    ASSERT_EQ(quillo({"decode", m, "-o", temp("wet.raw")}).status, 0);
    ASSERT_EQ(quillo({"decode", m, "-o", temp("dry.raw"), "--dry"}).status, 0);
    Bytes wet, dry;
    ASSERT_TRUE(testsupport::readFile(temp("wet.raw"), wet));
    ASSERT_TRUE(testsupport::readFile(temp("dry.raw"), dry));
    EXPECT_EQ(dry.size(), 2u * 4480);
    EXPECT_TRUE(wet == dry);
  }
}

TEST(QuilloHostile, MessagesCutInTheHeaderOrABlock) {
  const Bytes full = header(1, 5, 0) + blocks80(3);
  struct Cut {
    size_t bytes;      // bytes behind the player
    int blocks;        // what info counts
    int lastBytes;     // bytes of the last block, 512 for a whole one
    const char* rate;  // as info shows it
    int status;        // of info
  };
  // A first block of one byte is completed by the zeros the block buffer
  // starts with, and so reads as a 6.4 kbit/s block: a mismatch.
  const Cut cuts[] = {{1, 0, 512, "6.4", 0},        {9, 0, 512, "8", 0},
                      {11, 0, 512, "8", 0},         {12 + 1, 1, 1, "8", 3},
                      {12 + 512 + 1, 2, 1, "8", 0}, {12 + 1023, 2, 511, "8", 0},
                      {12 + 1536, 3, 512, "8", 0}};
  for (const Cut& c : cuts) {
    SCOPED_TRACE(c.bytes);
    std::string m = writeMessage("cut.qlo", Bytes(full.begin(), full.begin() + c.bytes));
    ToolRun info = quillo({"info", m});
    EXPECT_EQ(info.status, c.status) << info.out << info.err;
    EXPECT_TRUE(has(info.out, std::string("rate:     ") + c.rate + " kbit/s")) << info.out;
    EXPECT_TRUE(has(info.out, "blocks:   " + std::to_string(c.blocks) + "\n")) << info.out;
    EXPECT_EQ(has(info.out,
                  "short:    the last block has " + std::to_string(c.lastBytes) + " of 512 bytes"),
              c.lastBytes < 512)
        << info.out;

    // One whole buffer of the header's rate per block, however short.
    ToolRun decode = quillo({"decode", m, "-o", temp("cut.raw")});
    EXPECT_EQ(decode.status, 0) << decode.err;
    Bytes pcm;
    ASSERT_TRUE(testsupport::readFile(temp("cut.raw"), pcm));
    size_t buffer = c.bytes > 8 ? 8160 : 10240;
    EXPECT_EQ(pcm.size(), static_cast<size_t>(c.blocks) * buffer);
  }
}

TEST(QuilloHostile, EveryBlockRejected) {
  // The first block is an 11.8 kbit/s block with a stray bit, so no later
  // 8 kbit/s block is ever accepted: info says so, decode plays silence.
  Bytes plain(BLOCK_BYTES, 0);
  plain[0] = 0x20;
  plain[5] = 0x02;
  Bytes stray(BLOCK_BYTES);
  scramble_bytes(plain.data(), stray.data(), BLOCK_BYTES);
  std::string m = writeMessage("rejected.qlo", header(1, 0, 0) + stray + blocks80(4));
  ToolRun info = quillo({"info", m});
  EXPECT_EQ(info.status, 3);
  EXPECT_TRUE(has(info.out, "rejected: 5, the first is block 0 at 00:00:00")) << info.out;
  ToolRun decode = quillo({"decode", m, "-o", temp("rejected.raw")});
  EXPECT_EQ(decode.status, 0) << decode.err;
  Bytes pcm;
  ASSERT_TRUE(testsupport::readFile(temp("rejected.raw"), pcm));
  ASSERT_EQ(pcm.size(), 5u * 8160);
  EXPECT_EQ(pcm, Bytes(pcm.size(), 0));
}

TEST(QuilloHostile, MemoryDoesNotGrowWithTheMessage) {
  // Rejected blocks decode quickly, so a long message costs little time; a
  // tool that held the message (or its PCM) would grow by megabytes.
  Bytes plain(BLOCK_BYTES, 0);
  plain[0] = 0x20;
  plain[7] = 0x01;
  Bytes stray(BLOCK_BYTES);
  scramble_bytes(plain.data(), stray.data(), BLOCK_BYTES);
  // Long enough (1 MB) for the sampling to see the tool run.
  const Bytes more = blocks80(64);
  Bytes small = header(1, 3, 0) + stray;
  while (small.size() < (1u << 20)) small.insert(small.end(), more.begin(), more.end());
  Bytes large = small;
  while (large.size() < (16u << 20)) large.insert(large.end(), more.begin(), more.end());
  std::string s = writeMessage("small.qlo", small);
  std::string l = writeMessage("large.qlo", large);

  for (const char* command : {"decode", "info"}) {
    SCOPED_TRACE(command);
    std::vector<std::string> args = {command, s};
    if (std::strcmp(command, "decode") == 0) args.insert(args.end(), {"-o", "-"});
    ToolRun a = quillo(args, "/dev/null");
    args[1] = l;
    ToolRun b = quillo(args, "/dev/null");
    ASSERT_EQ(a.status, std::strcmp(command, "info") == 0 ? 3 : 0) << a.err;
    ASSERT_EQ(b.status, a.status) << b.err;
    if (a.maxRssKb == 0) GTEST_SKIP() << "SKIPPED: the tool's memory cannot be read (no ptrace)";
    std::printf("[ memory   ] quillo %s: %ld KB for %zu bytes, %ld KB for %zu bytes\n", command,
                a.maxRssKb, small.size(), b.maxRssKb, large.size());
    EXPECT_LT(b.maxRssKb - a.maxRssKb, 4096) << "the tool grows with the message";
  }
}

}  // namespace
