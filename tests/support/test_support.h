// Helpers shared by the tests: locating the conformance data, reading files,
// seeded random numbers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// Folder with g729/ and samples/ (environment QUILLO_SHARED, else the build's
// default beside the checkout). Empty when it does not exist.
std::string sharedDir();

// Skips the calling test loudly when the shared folder is missing.
#define QUILLO_REQUIRE_SHARED()                                                         \
  do {                                                                                  \
    if (testsupport::sharedDir().empty())                                               \
      GTEST_SKIP() << "SKIPPED: conformance data folder not found (set QUILLO_SHARED)"; \
  } while (0)

bool readFile(const std::string& path, std::vector<uint8_t>& out);
bool writeFile(const std::string& path, const std::vector<uint8_t>& data);

// Little-endian 16-bit samples from raw bytes.
std::vector<int16_t> toSamples(const std::vector<uint8_t>& bytes);

// A fresh temporary directory for this test process.
std::string tempDir();

// Exit status (-1 when killed), standard output and error of a command.
struct CommandRun {
  int status;
  std::string out, err;
};
// Runs `command` through the shell with its output captured.
CommandRun runCommand(const std::string& command);

// The quillo tool under test, quoted for a shell command line (for the few
// tests that put it into a pipeline of their own).
std::string toolCommand();

// Runs the quillo tool under test: `args` as shell words (quoted by the
// caller), `env` (assignments such as "A=1 B=2 ") in front. Its exit status,
// standard output and error.
CommandRun runTool(const std::string& args, const std::string& env = "");

// A message file in tempDir() named `name`: PAYLOAD_OFFSET bytes of
// `playerByte` standing in for the player, then `payload` (the header and the
// blocks, as the test wants them). Returns its path.
std::string writeMessageFile(const std::string& name, const std::vector<uint8_t>& payload,
                             uint8_t playerByte = 0);

// Seed for random tests: QUILLO_SEED from the environment, else `fallback`.
// The seed is printed so that a failure can be replayed.
uint32_t testSeed(uint32_t fallback);

}  // namespace testsupport
