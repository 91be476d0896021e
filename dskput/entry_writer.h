// Host files and folders added to a mounted disk in memory: their names formed by the disk's
// rules, their types, addresses and dates, what the disk cannot take said.
#ifndef DSKPUT_ENTRY_WRITER_H_
#define DSKPUT_ENTRY_WRITER_H_

#include <cstddef>

#include "common/console/diagnostics.h"
#include "diskimage/file_system.h"

// How files are added, from the command line.
struct AddOptions {
  const char* type = nullptr;  // --type: as the listings' type column names it
  int load_address = 0;        // --load, --exec: where the system records them
  int exec_address = 0;
  bool rename = false;   // names that break the disk's rules are made to fit
  bool replace = false;  // a file of the same name is replaced
};

class EntryWriter {
 public:
  // Adds to the disk `fs` has mounted, whose image bytes are the `image_size` at `image`;
  // diagnostics name it "disk N".
  EntryWriter(Diagnostics& diagnostics, diskimage::FileSystem& fs, unsigned char* image,
              size_t image_size, int disk, const AddOptions& options);

  // Finds the folder `path` of the disk ('/' between folders, UTF-8) into `folder`; false, said,
  // when the disk has none of that name.
  bool FindFolder(const char* path, diskimage::DirectoryEntry& folder);

  // Adds the host file or folder `path` (a folder with all it holds, in byte order of its names)
  // to `folder` (nullptr: the root), whose path on the disk is `folder_path` ("" for the root,
  // else ending in '/', code page 932). What cannot be added is said; once the disk can take no
  // more (no room, a full or damaged folder), `stopped` is set and nothing more is added.
  // `listed` says what a folder's listing found the path to be (1 a folder, 0 a file; -1 unknown,
  // looked at).
  void Add(const char* path, const diskimage::DirectoryEntry* folder, const char* folder_path,
           int depth = 0, int listed = -1);

  bool stopped = false;
  int added = 0;    // entries added
  int refused = 0;  // paths not added

 private:
  // The entry of `folder` named `name` (in any ASCII case), into `found`; false for none.
  bool FindEntry(const diskimage::DirectoryEntry* folder, const char* name,
                 diskimage::DirectoryEntry& found);
  // Says why `name` was not added; stops the run where the disk can take no more.
  void SayRefusal(const diskimage::AddRefusal& refusal, const char* name, int64_t size);

  Diagnostics& diagnostics;
  diskimage::FileSystem& fs;
  unsigned char* image;
  size_t image_size;
  const AddOptions& options;
  char where[16];  // "disk N"
};

#endif  // DSKPUT_ENTRY_WRITER_H_
