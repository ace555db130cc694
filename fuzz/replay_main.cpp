// Runs a fuzz target over saved inputs without the fuzzing engine: every
// file named on the command line, and every file in a folder named there.
// Builds without the fuzzer use it to replay the seed corpus and the inputs
// of past findings as ordinary tests.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static bool readFile(const std::string& path, std::vector<uint8_t>* data) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
    data->insert(data->end(), chunk, chunk + n);
  bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

// The files to replay for one argument, in name order for a folder.
static bool collect(const std::string& path, std::vector<std::string>* files) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) {
    files->push_back(path);
    return true;
  }
  DIR* dir = opendir(path.c_str());
  if (!dir) return false;
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir))
    if (entry->d_name[0] != '.') names.push_back(path + "/" + entry->d_name);
  closedir(dir);
  std::sort(names.begin(), names.end());
  files->insert(files->end(), names.begin(), names.end());
  return true;
}

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; i++) {
    if (!collect(argv[i], &files)) {
      std::fprintf(stderr, "%s: cannot read\n", argv[i]);
      return 1;
    }
  }
  for (const std::string& path : files) {
    std::vector<uint8_t> data;
    if (!readFile(path, &data)) {
      std::fprintf(stderr, "%s: cannot read\n", path.c_str());
      return 1;
    }
    // An exactly sized copy, as the fuzzing engine hands its inputs over.
    std::vector<uint8_t> exact(data.begin(), data.end());
    exact.shrink_to_fit();
    LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
  }
  std::printf("replayed %zu inputs\n", files.size());
  return files.empty() ? 1 : 0;
}
