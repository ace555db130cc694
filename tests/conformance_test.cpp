// Conformance: every listed G.192 bitstream decodes from the program-start
// state to its expected output bit for bit, through the library and through
// `quillo decode --g192`. A bitstream with frames the decoder cannot decode
// (erasures, backward-adaptive frames) is compared up to the first of them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "codec/basicop/diagnostics.h"
#include "codec/decoder.h"
#include "codec/g192.h"
#include "tests/support/test_support.h"

namespace {

struct Vector {
  const char* bitstream;  // under g729/vectors/
  const char* expected;
  int frames;   // frames in the bitstream
  int compare;  // decodable frames before the first undecodable one
};

const Vector VECTORS[] = {
    {"main/ALGTHM.BIT", "main/ALGTHM.PST", 35, 35},
    {"main/FIXED.BIT", "main/FIXED.PST", 120, 120},
    {"main/LSP.BIT", "main/LSP.PST", 2232, 2232},
    {"main/PITCH.BIT", "main/PITCH.PST", 1835, 1835},
    {"main/SPEECH.BIT", "main/SPEECH.PST", 3750, 3750},
    {"main/TAME.BIT", "main/TAME.PST", 128, 128},
    {"main/PARITY.BIT", "main/PARITY.PST", 300, 300},
    {"main/OVERFLOW.BIT", "main/OVERFLOW.PST", 384, 19},
    {"main/ERASURE.BIT", "main/ERASURE.PST", 300, 10},
    {"annexD/testmid.1", "annexD/testout.1", 1176, 1176},
    {"annexD/testmid.2", "annexD/testout.2", 1176, 1176},
    {"annexD/testmid.3", "annexD/testout.3", 1176, 1176},
    {"annexE/algthme.bit", "annexE/algthme.pst", 30, 30},
    {"annexE/fixed35.bit", "annexE/fixed35.pst", 507, 507},
    {"annexE/lspe.bit", "annexE/lspe.pst", 1280, 1280},
    {"annexE/ovpitch.bit", "annexE/ovpitch.pst", 500, 500},
    {"annexE/stabilit.bit", "annexE/stabilit.pst", 157, 157},
    {"annexE/speeche.bit", "annexE/speeche.pst", 3750, 58},
    {"annexE/pitche.bit", "annexE/pitche.pst", 1479, 20},
    {"annexE/fixed44.bit", "annexE/fixed44.pst", 1430, 54},
    {"annexE/switch.bit", "annexE/switch.pst", 886, 197},
    {"annexE/erasuree.bit", "annexE/erasuree.pst", 47, 2},
};

void PrintTo(const Vector& v, std::ostream* os) { *os << v.bitstream; }

std::string vectorPath(const char* name) {
  return testsupport::sharedDir() + "/g729/vectors/" + name;
}

int diagnosticLines = 0;
void countDiagnostic(const char*) { diagnosticLines++; }

// "" when `got` equals the first `frames` frames of `want`, else where they
// first differ.
std::string firstDifference(const std::vector<int16_t>& got, const std::vector<int16_t>& want,
                            size_t frames) {
  std::ostringstream s;
  if (want.size() < frames * FRAME_SAMPLES) {
    s << "expected output holds only " << want.size() << " samples";
    return s.str();
  }
  for (size_t i = 0; i < frames * FRAME_SAMPLES; i++) {
    if (i >= got.size()) {
      s << "output ends after " << got.size() << " samples (frame " << i / FRAME_SAMPLES << ")";
      return s.str();
    }
    if (got[i] != want[i]) {
      s << "first difference at frame " << i / FRAME_SAMPLES << ", sample " << i % FRAME_SAMPLES
        << " (sample " << i << " of the file): got " << got[i] << ", expected " << want[i];
      return s.str();
    }
  }
  if (got.size() != frames * FRAME_SAMPLES) {
    s << "output has " << got.size() << " samples, expected " << frames * FRAME_SAMPLES;
    return s.str();
  }
  return "";
}

class Conformance : public ::testing::TestWithParam<Vector> {};

}  // namespace

TEST_P(Conformance, LibraryDecodesBitExact) {
  QUILLO_REQUIRE_SHARED();
  const Vector& v = GetParam();
  std::vector<uint8_t> bits, expectedBytes;
  ASSERT_TRUE(testsupport::readFile(vectorPath(v.bitstream), bits)) << v.bitstream;
  ASSERT_TRUE(testsupport::readFile(vectorPath(v.expected), expectedBytes)) << v.expected;
  std::vector<int16_t> expected = testsupport::toSamples(expectedBytes);
  ASSERT_EQ(expected.size(), (size_t)v.frames * FRAME_SAMPLES) << v.expected;

  // The fast paths (the default) and the exact reference paths alike.
  for (bool reference : {false, true}) {
    const char* path = reference ? " (reference paths)" : "";
    set_decoder_message_sink(countDiagnostic);
    decoder_use_reference_paths(reference);
    decoder_program_start();
    std::vector<int16_t> decoded;
    size_t offset = 0;
    G192Frame frame;
    G192Result result;
    Word16 pcm[FRAME_SAMPLES];
    while ((result = g192_read_frame(bits.data(), bits.size(), &offset, &frame)) == G192_FRAME) {
      decode_frame(frame.bytes, frame.rate_mode, pcm);
      decoded.insert(decoded.end(), pcm, pcm + FRAME_SAMPLES);
    }
    decoder_use_reference_paths(false);
    set_decoder_message_sink(nullptr);

    size_t frames = decoded.size() / FRAME_SAMPLES;
    EXPECT_EQ(frames, (size_t)v.compare) << v.bitstream << path << ": decodable frames";
    if (v.compare == v.frames) {
      EXPECT_EQ(result, G192_END) << v.bitstream << path << ": " << g192_result_text(result);
    }
    std::string diff = firstDifference(decoded, expected, frames);
    EXPECT_EQ(diff, "") << v.bitstream << path << ": " << diff;
  }
}

INSTANTIATE_TEST_SUITE_P(Vectors, Conformance, ::testing::ValuesIn(VECTORS),
                         [](const ::testing::TestParamInfo<Vector>& info) {
                           std::string name = info.param.bitstream;
                           for (char& c : name)
                             if (!std::isalnum((unsigned char)c)) c = '_';
                           return name;
                         });

#ifdef QUILLO_TOOL_PATH

// The tool decodes a bitstream to the expected output; one that stops at an
// undecodable frame writes the frames before it, names the frame and exits 3.
TEST(ConformanceTool, G192DecodesBitExact) {
  QUILLO_REQUIRE_SHARED();
  const char* names[] = {"main/ALGTHM.BIT",  "main/PARITY.BIT",    "main/OVERFLOW.BIT",
                         "annexD/testmid.3", "annexE/algthme.bit", "annexE/switch.bit"};
  std::string dir = testsupport::tempDir();
  for (const Vector& v : VECTORS) {
    bool chosen = false;
    for (const char* n : names) chosen = chosen || std::string(n) == v.bitstream;
    if (!chosen) continue;
    std::string out = dir + "/tool.raw";
    testsupport::CommandRun run =
        testsupport::runTool("decode --g192 '" + vectorPath(v.bitstream) + "' -o '" + out + "'");
    int status = run.status;
    const std::string& message = run.err;
    if (v.compare == v.frames) {
      EXPECT_EQ(status, 0) << v.bitstream << ": " << message;
    } else {
      EXPECT_EQ(status, 3) << v.bitstream;
      EXPECT_NE(message.find("frame " + std::to_string(v.compare) + " "), std::string::npos)
          << v.bitstream << ": " << message;
    }
    std::vector<uint8_t> got, want;
    ASSERT_TRUE(testsupport::readFile(out, got)) << v.bitstream << ": no output";
    ASSERT_TRUE(testsupport::readFile(vectorPath(v.expected), want));
    std::string diff = firstDifference(testsupport::toSamples(got), testsupport::toSamples(want),
                                       (size_t)v.compare);
    EXPECT_EQ(diff, "") << v.bitstream << " (quillo decode --g192): " << diff;
    std::remove(out.c_str());
  }
}

// Diagnostic lines of the decoder (this bitstream repairs unstable LSPs) go
// to standard error; standard output carries exactly the PCM.
TEST(ConformanceTool, DiagnosticsStayOutOfThePcmOnStandardOutput) {
  QUILLO_REQUIRE_SHARED();
  testsupport::CommandRun run =
      testsupport::runTool("decode --g192 '" + vectorPath("annexE/stabilit.bit") + "' -o -");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("lsp_stability warning"), std::string::npos);
  ASSERT_FALSE(run.out.empty()) << "nothing on standard output: " << run.err;
  std::vector<uint8_t> got(run.out.begin(), run.out.end()), want;
  ASSERT_TRUE(testsupport::readFile(vectorPath("annexE/stabilit.pst"), want));
  EXPECT_TRUE(got == want) << "stdout: " << got.size() << " bytes, expected " << want.size();
}

#endif
