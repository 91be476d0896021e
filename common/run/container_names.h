// The containers the programs write, as a command line names them: by their type name or by a
// file name's extension.
#ifndef COMMON_RUN_CONTAINER_NAMES_H_
#define COMMON_RUN_CONTAINER_NAMES_H_

#include "diskimage/disk_image.h"

// The written container a type name ("d88", "raw", "fdi", "dim", "nfd", "imd", "fdd") names, or
// kNone.
diskimage::ContainerKind TypeNamed(const char* name);

// The extension of `path`'s last part, from its last dot ("" for none).
const char* ExtensionOf(const char* path);

// The written container `path`'s extension names (".d88", ".hdm", ...: any case), or kNone.
diskimage::ContainerKind TypeOfName(const char* path);

#endif  // COMMON_RUN_CONTAINER_NAMES_H_
