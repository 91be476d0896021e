// Replays fuzz inputs through a fuzz target without libFuzzer: every file named on the command
// line, or every file in a directory named there, is passed to LLVMFuzzerTestOneInput once.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int Replay(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) {
    fprintf(stderr, "replay: cannot open %s\n", path.c_str());
    return 1;
  }
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, f)) > 0)
    bytes.insert(bytes.end(), chunk, chunk + got);
  fclose(f);
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int failures = 0;
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    struct stat st;
    if (stat(argv[i], &st) == 0 && S_ISDIR(st.st_mode)) {
      DIR* dir = opendir(argv[i]);
      while (dirent* e = dir != nullptr ? readdir(dir) : nullptr) {
        if (e->d_name[0] == '.') continue;
        failures += Replay(std::string(argv[i]) + "/" + e->d_name);
        ++replayed;
      }
      if (dir != nullptr) closedir(dir);
    } else {
      failures += Replay(argv[i]);
      ++replayed;
    }
  }
  fprintf(stderr, "replayed %d inputs\n", replayed);
  return failures == 0 && replayed > 0 ? 0 : 1;
}
