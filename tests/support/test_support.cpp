#include "tests/support/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif
#include <unistd.h>
#ifdef _WIN32
#include <direct.h>
#include <io.h>
#endif

#include "playback/message_format.h"

namespace testsupport {

static bool isDir(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string sharedDir() {
  const char* env = std::getenv("QUILLO_SHARED");
  std::string dir = env && *env ? env : QUILLO_SHARED_DIR;
  return isDir(dir + "/g729") ? dir : std::string();
}

bool readFile(const std::string& path, std::vector<uint8_t>& out) {
  out.clear();
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  std::fclose(f);
  return true;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& data) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

std::vector<int16_t> toSamples(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> s(bytes.size() / 2);
  for (size_t i = 0; i < s.size(); i++)
    s[i] = static_cast<int16_t>(static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
  return s;
}

std::string tempDir() {
  static std::string dir;
  if (dir.empty()) {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/quillo-test-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
#ifdef _WIN32
    // The Windows runtime has no mkdtemp: name it, then create it.
    if (_mktemp(buf.data()) && _mkdir(buf.data()) == 0) dir = buf.data();
#else
    if (mkdtemp(buf.data())) dir = buf.data();
#endif
  }
  return dir;
}

#ifndef _WIN32
CommandRun runCommand(const std::string& command) {
  std::string out = tempDir() + "/command.out", err = tempDir() + "/command.err";
  int raw = std::system((command + " >" + out + " 2>" + err).c_str());
  CommandRun r;
  r.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  std::vector<uint8_t> b;
  readFile(out, b);
  r.out.assign(b.begin(), b.end());
  readFile(err, b);
  r.err.assign(b.begin(), b.end());
  return r;
}

std::string toolCommand() {
#ifdef QUILLO_TOOL_PATH
  return std::string("'") + QUILLO_TOOL_PATH + "'";
#else
  return "false";  // this build has no quillo tool
#endif
}

CommandRun runTool(const std::string& args, const std::string& env) {
  return runCommand(env + toolCommand() + " " + args);
}
#endif

std::string writeMessageFile(const std::string& name, const std::vector<uint8_t>& payload,
                             uint8_t playerByte) {
  std::vector<uint8_t> file(static_cast<size_t>(PAYLOAD_OFFSET), playerByte);
  file.insert(file.end(), payload.begin(), payload.end());
  std::string path = tempDir() + "/" + name;
  return writeFile(path, file) ? path : std::string();
}

uint32_t testSeed(uint32_t fallback) {
  const char* env = std::getenv("QUILLO_SEED");
  uint32_t seed = env && *env ? static_cast<uint32_t>(std::strtoul(env, nullptr, 0)) : fallback;
  std::printf("[ seed     ] QUILLO_SEED=%u\n", seed);
  return seed;
}

}  // namespace testsupport
