// The scratch area of the fuzz targets and the rules checked after every program run.
#include "fuzz/fuzz_scratch.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string& ScratchRoot() {
  static std::string root = [] {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/d88fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) FuzzFail("mkdtemp");
    // The programs' listing and diagnostics are not what is under test here.
    if (freopen("/dev/null", "w", stdout) == nullptr) FuzzFail("freopen");
    return pattern;
  }();
  return root;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

void EmptyDirectory(const std::string& dir) {
  nftw(dir.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
  if (mkdir(dir.c_str(), 0755) != 0) FuzzFail("mkdir output");
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    }
    closedir(d);
  }
  return names;
}

bool SameBytes(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  std::vector<uint8_t> bytes(size + 1);
  const size_t got = fread(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  return got == size && (size == 0 || memcmp(bytes.data(), data, size) == 0);
}

const char* scratch_image_name = "image.d88";

}  // namespace

void SetScratchImageName(const char* name) { scratch_image_name = name; }

const char* ScratchDirectory() { return ScratchRoot().c_str(); }

void EmptyScratchFolder(const char* path) { EmptyDirectory(path); }

void FuzzFail(const char* what) {
  fprintf(stderr, "fuzz rule broken: %s\n", what);
  abort();
}

const char* WriteScratchImage(const uint8_t* data, size_t size) {
  static std::string path;
  path = ScratchRoot() + "/" + scratch_image_name;
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr || (size > 0 && fwrite(data, 1, size, f) != size) || fclose(f) != 0) {
    FuzzFail("cannot write the scratch image");
  }
  return path.c_str();
}

int RunProgramOnScratchImage(int (*run)(int argc, char** argv), const char* program,
                             const char* const* options, int option_count, const uint8_t* data,
                             size_t size) {
  // The input's length chooses: bit i takes options[i], the next bit reads the image from "-".
  const bool from_standard_input = ((size >> option_count) & 1) != 0;
  const std::string image = WriteScratchImage(data, size);
  if (from_standard_input && freopen(image.c_str(), "rb", stdin) == nullptr) {
    FuzzFail("cannot read the scratch image as standard input");
  }
  const std::string output = ScratchRoot() + "/out";
  EmptyDirectory(output);
  static const int start = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (start < 0 || chdir(output.c_str()) != 0) FuzzFail("chdir output");

  std::vector<std::string> words = {program, from_standard_input ? "-" : image};
  for (int i = 0; i < option_count; ++i) {
    if ((size >> i) & 1) words.push_back(options[i]);
  }
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  clearerr(stdout);
  const int status = run(static_cast<int>(words.size()), argv.data());

  if (status < 0 || status > 2) FuzzFail("exit status other than 0, 1 or 2");
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr || output != cwd) FuzzFail("not back in the start");
  if (!SameBytes(image, data, size)) FuzzFail("the image was modified");
  std::vector<std::string> beside = Entries(ScratchRoot());
  if (beside.size() != 2) FuzzFail("something was created beside the output directory");
  if (fchdir(start) != 0) FuzzFail("fchdir start");  // the fuzzer's own paths are relative
  return status;
}
