#include "tools/quillo/players.h"

#include "playback/message_format.h"
#include "tools/quillo/message_file.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nettle/sha2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool endsWithNoCase(const std::string& s, const char* suffix) {
  size_t n = std::string(suffix).size();
  return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

// The folder of the running tool's program file, "" when unknown.
std::string toolDirectory() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "";
  std::string p(path, static_cast<size_t>(n));
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? "" : p.substr(0, slash);
}

const char* fileName(PlayerKind kind) {
  if (kind == PLAYER_HTML) return "message.html";
  return kind == PLAYER_WINDOWS ? "Quillo.exe" : "quillo-player";
}

std::vector<std::string> candidates(PlayerKind kind) {
  const char* override = std::getenv("QUILLO_PLAYER_DIR");
  if (override && *override) return {std::string(override) + "/" + fileName(kind)};
  std::string dir = toolDirectory();
  std::vector<std::string> list = {dir + "/../share/quillo/" + fileName(kind)};
  if (kind == PLAYER_LINUX) {
    list.push_back(dir + "/../platform/sdl/quillo-player");
  } else if (kind == PLAYER_HTML) {
    list.push_back(dir + "/../../web/site/message.html");
  } else {
    list.push_back(dir + "/../../windows/platform/win32/Quillo.exe");
    list.push_back(dir + "/../../windows-tests/platform/win32/Quillo.exe");
  }
  return list;
}

bool isRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

PlayerKind playerKindForOutput(const std::string& outPath) {
  if (endsWithNoCase(outPath, ".exe")) return PLAYER_WINDOWS;
  if (endsWithNoCase(outPath, ".qlo")) return PLAYER_NONE;
  if (endsWithNoCase(outPath, ".html")) return PLAYER_HTML;
  return PLAYER_LINUX;
}

PlayerKind playerKindOf(const std::string& option) {
  if (option == "windows") return PLAYER_WINDOWS;
  if (option == "linux") return PLAYER_LINUX;
  if (option == "none") return PLAYER_NONE;
  if (option == "html") return PLAYER_HTML;
  return PLAYER_FILE;
}

bool findPlayer(PlayerKind kind, std::string* path, std::string* error) {
  std::vector<std::string> list = candidates(kind);
  for (const std::string& p : list)
    if (isRegularFile(p)) {
      char* resolved = realpath(p.c_str(), nullptr);
      *path = resolved ? resolved : p;
      std::free(resolved);
      return true;
    }
  const char* howTo =
      kind == PLAYER_WINDOWS
          ? "build it with 'cmake --preset windows && cmake --build --preset windows' "
            "(Debian: g++-mingw-w64-x86-64-win32), install the quillo package, or give "
            "--player FILE"
      : kind == PLAYER_HTML
          ? "build it with 'cmake --preset web && cmake --build --preset web' (Debian: "
            "emscripten), or install a quillo package made after that build"
          : "build it (Debian: libsdl2-dev), install the quillo package, or give --player FILE";
  *error = std::string("the ") + playerKindName(kind) + " is not there (looked for " + list[0] +
           (list.size() > 1 ? " and beside the build" : "") + "); " + howTo;
  return false;
}

const char* playerKindName(PlayerKind kind) {
  if (kind == PLAYER_WINDOWS) return "Windows player";
  if (kind == PLAYER_LINUX) return "Linux player";
  if (kind == PLAYER_FILE) return "player";
  if (kind == PLAYER_HTML) return "self-playing page's template";
  return "no player";
}

static std::string sha256Hex(const uint8_t* data, size_t size) {
  sha256_ctx ctx;
  sha256_init(&ctx);
  sha256_update(&ctx, size, data);
  uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&ctx, sizeof digest, digest);
  std::string hex;
  char two[3];
  for (uint8_t b : digest) {
    std::snprintf(two, sizeof two, "%02x", b);
    hex += two;
  }
  return hex;
}

std::string describeProgram(const uint8_t* program, size_t size, bool* known) {
  *known = false;
  std::string hash = sha256Hex(program, size);
  bool zeros = true;
  for (size_t i = 0; i < size && zeros; i++) zeros = program[i] == 0;
  if (zeros) {
    *known = true;
    return "none (zeros: a plain message, no program to run)";
  }
  for (PlayerKind kind : {PLAYER_WINDOWS, PLAYER_LINUX}) {
    std::string path, error;
    std::vector<uint8_t> bytes;
    if (!findPlayer(kind, &path, &error) || !readInputFile(path.c_str(), &bytes, &error) ||
        bytes.size() > size)
      continue;
    bytes.resize(size, 0);
    if (sha256Hex(bytes.data(), bytes.size()) == hash) {
      *known = true;
      return std::string("the ") + playerKindName(kind) + " of quillo " + QUILLO_VERSION +
             " (sha256 " + hash + ")";
    }
  }
  return "an unknown program (sha256 " + hash +
         "): not a player this quillo ships; run it only if you trust where it came from";
}
