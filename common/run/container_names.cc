// The containers the programs write, by their type name or a file name's extension.
#include "common/run/container_names.h"

#include <cstring>

#include "common/host/file_info.h"
#include "diskimage/container_fit.h"
#include "diskimage/names.h"

using diskimage::ContainerKind;

// The container TYPE names ("d88", "raw", ...), or kNone.
ContainerKind TypeNamed(const char* name) {
  for (ContainerKind kind : diskimage::kWritableContainers) {
    if (strcmp(diskimage::ContainerName(kind), name) == 0) return kind;
  }
  return ContainerKind::kNone;
}

// The extension of `path`'s last part, from its last dot ("" for none).
const char* ExtensionOf(const char* path) {
  const char* base = BaseName(path);
  const char* dot = strrchr(base, '.');
  return dot != nullptr && dot != base ? dot : "";
}

// The container a name's extension names, or kNone.
ContainerKind TypeOfName(const char* path) {
  static const struct {
    const char* extension;
    ContainerKind kind;
  } kExtensions[] = {
      {".d88", ContainerKind::kD88}, {".d77", ContainerKind::kD88}, {".d68", ContainerKind::kD88},
      {".d98", ContainerKind::kD88}, {".88d", ContainerKind::kD88}, {".d8u", ContainerKind::kD88},
      {".1dd", ContainerKind::kD88}, {".hdm", ContainerKind::kRaw}, {".xdf", ContainerKind::kRaw},
      {".2hd", ContainerKind::kRaw}, {".2d", ContainerKind::kRaw},  {".2dd", ContainerKind::kRaw},
      {".dsk", ContainerKind::kRaw}, {".img", ContainerKind::kRaw}, {".ima", ContainerKind::kRaw},
      {".dup", ContainerKind::kRaw}, {".hdb", ContainerKind::kRaw}, {".ddb", ContainerKind::kRaw},
      {".hd4", ContainerKind::kRaw}, {".hd5", ContainerKind::kRaw}, {".dd6", ContainerKind::kRaw},
      {".dd9", ContainerKind::kRaw}, {".tfd", ContainerKind::kRaw}, {".fdi", ContainerKind::kFdi},
      {".dim", ContainerKind::kDim}, {".nfd", ContainerKind::kNfd}, {".imd", ContainerKind::kImd},
      {".fdd", ContainerKind::kFdd}};
  const char* extension = ExtensionOf(path);
  for (const auto& e : kExtensions) {
    if (diskimage::SameIgnoringAsciiCase(extension, e.extension)) return e.kind;
  }
  return ContainerKind::kNone;
}
