// Fuzz target for dskput's whole run. An input of even length describes a tree of host files and
// folders (names of any bytes, sizes up to 256 KiB, nested) put on a new disk of the variant its
// second byte chooses (its first, the options); one of odd length is an image (all but its last
// byte, which chooses the options) given a host file (-o OUT or --in-place). Whatever the input,
// the run ends with status 0, 1 or 2; a new disk written reads back as its file system without
// damage, and nothing is written when it fails.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "diskimage/disk_image.h"
#include "diskimage/identify.h"
#include "dskput/dskput.h"
#include "fuzz/fuzz_scratch.h"

namespace {

using diskimage::FileSystemKind;

DskputState state;

bool Exists(const std::string& path) {
  struct stat facts;
  return stat(path.c_str(), &facts) == 0;
}

void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr || (size > 0 && fwrite(data, 1, size, f) != size) || fclose(f) != 0) {
    FuzzFail("cannot write a host file");
  }
}

// The `index`-th of every file system's variants (wrapping), as "fs:variant", its kind in `kind`.
std::string Variant(int index, FileSystemKind& kind) {
  std::vector<std::string> names;
  std::vector<FileSystemKind> kinds;
  for (int i = 0; diskimage::IsFileSystem(diskimage::NthFileSystem(i)); ++i) {
    const char* name;
    diskimage::SectorGrid grid;
    for (int v = 0; diskimage::NthFormatVariant(diskimage::NthFileSystem(i), v, name, grid); ++v) {
      names.push_back(std::string(diskimage::FileSystemName(diskimage::NthFileSystem(i))) + ":" +
                      name);
      kinds.push_back(diskimage::NthFileSystem(i));
    }
  }
  kind = kinds[static_cast<size_t>(index) % kinds.size()];
  return names[static_cast<size_t>(index) % names.size()];
}

// Builds the tree the input describes below `root`: records of a control byte (bit 0 a folder,
// bit 1 back up a folder first, bits 2-5 the name's length), the name, and for a file two bytes
// of size in 4-byte units. Returns the paths at the top.
std::vector<std::string> BuildTree(const std::string& root, const uint8_t* data, size_t size) {
  std::vector<std::string> top, folders = {root};
  size_t at = 0;
  for (int entries = 0; at < size && entries < 64; ++entries) {
    const int control = data[at++];
    if ((control & 2) && folders.size() > 1) folders.pop_back();
    const size_t length = static_cast<size_t>((control >> 2) & 15) + 1;
    std::string name;
    for (size_t i = 0; i < length && at < size; ++i, ++at) {
      const char c = static_cast<char>(data[at]);
      name += c == '/' || c == '\0' ? 'x' : c;
    }
    if (name == "." || name == "..") name = "d";
    const std::string path = folders.back() + "/" + name;
    if (Exists(path)) continue;
    if (control & 1) {
      if (folders.size() > 6 || mkdir(path.c_str(), 0755) != 0) continue;
      folders.push_back(path);
    } else {
      size_t bytes = 0;
      if (at + 2 <= size) bytes = (static_cast<size_t>(data[at]) | data[at + 1] << 8) * 4u;
      at += 2;
      std::vector<uint8_t> content(bytes);
      for (size_t i = 0; i < bytes; ++i) content[i] = static_cast<uint8_t>(i * 7 + entries);
      WriteBytes(path, content.data(), content.size());
    }
    if (folders.size() == 2 && (control & 1)) top.push_back(path);
    if (folders.size() == 1) top.push_back(path);
  }
  return top;
}

int Run(std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const int status = RunDskput(static_cast<int>(words.size()), argv.data(), state);
  if (status < 0 || status > 2) FuzzFail("exit status other than 0, 1 or 2");
  return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::string scratch = ScratchDirectory();
  const std::string tree = scratch + "/tree", out = scratch + "/out.d88";
  EmptyScratchFolder(tree.c_str());
  remove(out.c_str());
  if (size % 2 == 0) {
    FileSystemKind kind;
    std::vector<std::string> words = {"dskput", "-n", Variant(data[1], kind), out};
    const std::vector<std::string> top = BuildTree(tree, data + 2, size - 2);
    words.insert(words.end(), top.begin(), top.end());
    if (data[0] & 2) words.push_back("--rename");
    if (data[0] & 4) words.push_back("--replace");
    const int status = Run(words);
    if (status != 0) {
      if (Exists(out)) FuzzFail("a refused run wrote its image");
      return 0;
    }
    auto image = std::make_unique<diskimage::DiskImage>();
    auto map = std::make_unique<diskimage::DiskMap>();
    auto fs = std::make_unique<diskimage::FileSystem>();
    if (!image->Open(out.c_str()) || !image->SelectDisk(0)) FuzzFail("the new disk does not open");
    map->Load(image->Disk());
    diskimage::Identification id;
    diskimage::Identify(*map, *fs, id);
    if (id.kind != kind && id.kind != FileSystemKind::kUnformatted) {
      FuzzFail("the new disk is not its file system");
    }
    if (id.damaged != 0 || id.invalid_entries != 0) FuzzFail("the new disk reads damaged");
    return 0;
  }
  const std::string image = scratch + "/image.d88", host = tree + "/HOST.BIN";
  const int options = data[size - 1];
  WriteBytes(image, data, size - 1);
  WriteBytes(host, data, size < 300 ? size : 300);
  std::vector<std::string> words = {"dskput", image, host};
  const bool in_place = (options & 2) != 0;
  if (in_place) {
    words.insert(words.end(), {"--in-place", "--no-backup"});
  } else {
    words.insert(words.end(), {"-o", out});
  }
  if (options & 4) words.push_back("--replace");
  if (options & 8) words.push_back("--rename");
  if (options & 16) words.insert(words.end(), {"--disk", "1"});
  const int status = Run(words);
  if (!in_place && status != 0 && Exists(out)) FuzzFail("a refused run wrote its image");
  return 0;
}
