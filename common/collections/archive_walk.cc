// Archives read with libarchive; without it (a build that lacks it), none.
#include "common/collections/archive_walk.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/collections/image_folder.h"
#include "common/console/shift_jis_names.h"
#include "diskimage/names.h"

#ifdef DISKIMAGE_WITH_ARCHIVES
#include <archive.h>
#include <archive_entry.h>
#ifdef DISKIMAGE_ARCHIVES_AT_RUN_TIME
#include <dlfcn.h>
#endif
#endif

namespace {

constexpr const char* kArchiveExtensions[] = {".tar.gz", ".tar.bz2", ".tar.xz", ".zip", ".7z",
                                              ".lzh",    ".lha",     ".cab",    ".rar", ".tar",
                                              ".tgz",    ".tbz2",    ".txz"};

bool EndsWithFolded(const char* name, size_t length, const char* ending) {
  const size_t size = strlen(ending);
  if (length <= size) return false;
  for (size_t i = 0; i < size; ++i) {
    const char c = name[length - size + i];
    if ((c >= 'A' && c <= 'Z' ? c | 0x20 : c) != ending[i]) return false;
  }
  return true;
}

}  // namespace

size_t ArchiveExtensionLength(const char* name) {
  const size_t length = strlen(name);
  for (const char* extension : kArchiveExtensions) {
    if (EndsWithFolded(name, length, extension)) return strlen(extension);
  }
  return 0;
}

#ifndef DISKIMAGE_WITH_ARCHIVES

bool ArchivesAvailable() { return false; }

bool WalkArchive(const char* path, Diagnostics& diagnostics, ArchiveVisitor&) {
  diagnostics.Report(path, "this build does not read archives (it was made without libarchive)");
  return false;
}

#else

namespace {

constexpr size_t kNameSize = 4096;

#ifdef __EMSCRIPTEN__
// The page reads a dropped file through the browser, where each read costs milliseconds.
constexpr size_t kArchiveBlockSize = 1024 * 1024;
#else
constexpr size_t kArchiveBlockSize = 64 * 1024;
#endif

// The calls of libarchive used here. Where the build says so (Linux) the library is loaded when
// the first archive is met, so that a run without archives loads nothing but the C library and a
// system without libarchive still runs the programs.
struct ArchiveCalls {
  decltype(&archive_read_new) read_new;
  decltype(&archive_read_support_filter_all) support_filter_all;
  decltype(&archive_read_support_format_all) support_format_all;
  decltype(&archive_read_open_filename) open_filename;
  decltype(&archive_read_open_memory) open_memory;
  decltype(&archive_read_next_header) next_header;
  decltype(&archive_read_data) read_data;
  decltype(&archive_error_string) error_string;
  decltype(&archive_read_free) read_free;
  decltype(&archive_entry_filetype) entry_filetype;
  decltype(&archive_entry_pathname) entry_pathname;
};

#ifdef DISKIMAGE_ARCHIVES_AT_RUN_TIME
constexpr char kLibrary[] = "libarchive.so.13";

template <typename Call>
bool Find(void* library, const char* name, Call& call) {
  call = reinterpret_cast<Call>(dlsym(library, name));
  return call != nullptr;
}

// libarchive's calls, loaded on first use; nullptr when it cannot be loaded.
const ArchiveCalls* Library() {
  static ArchiveCalls calls;
  static int state = 0;  // 0: not tried, 1: loaded, -1: cannot be
  if (state == 0) {
    void* library = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    const bool found = library != nullptr && Find(library, "archive_read_new", calls.read_new) &&
                       Find(library, "archive_read_support_filter_all", calls.support_filter_all) &&
                       Find(library, "archive_read_support_format_all", calls.support_format_all) &&
                       Find(library, "archive_read_open_filename", calls.open_filename) &&
                       Find(library, "archive_read_open_memory", calls.open_memory) &&
                       Find(library, "archive_read_next_header", calls.next_header) &&
                       Find(library, "archive_read_data", calls.read_data) &&
                       Find(library, "archive_error_string", calls.error_string) &&
                       Find(library, "archive_read_free", calls.read_free) &&
                       Find(library, "archive_entry_filetype", calls.entry_filetype) &&
                       Find(library, "archive_entry_pathname", calls.entry_pathname);
    state = found ? 1 : -1;
  }
  return state == 1 ? &calls : nullptr;
}
#else
const ArchiveCalls* Library() {
  static const ArchiveCalls calls = {archive_read_new,
                                     archive_read_support_filter_all,
                                     archive_read_support_format_all,
                                     archive_read_open_filename,
                                     archive_read_open_memory,
                                     archive_read_next_header,
                                     archive_read_data,
                                     archive_error_string,
                                     archive_read_free,
                                     archive_entry_filetype,
                                     archive_entry_pathname};
  return &calls;
}
#endif

const ArchiveCalls* calls;  // set by WalkArchive

// A member's bytes, one buffer per depth of the walk.
struct MemberBuffer {
  unsigned char* bytes = nullptr;
  size_t capacity = 0;
};
MemberBuffer member_buffers[kMaxArchiveDepth];

// The member's path as the walk names it: '\\' as '/', no leading or doubled '/', no "." part;
// converted from Shift-JIS when it is not UTF-8 (as Japanese zip and LZH archives store names).
void MemberName(const char* raw, char* name, size_t size) {
  char slashed[kNameSize];
  size_t length = 0;
  const bool utf8 = IsUtf8(raw);  // in Shift-JIS, 5Ch is a trail byte too
  for (const char* c = raw; *c != '\0' && length + 1 < sizeof slashed; ++c) {
    const char b = *c == '\\' && utf8 ? '/' : *c;
    if (b == '/' && (length == 0 || slashed[length - 1] == '/')) continue;
    if (b == '/' && length >= 1 && slashed[length - 1] == '.' &&
        (length == 1 || slashed[length - 2] == '/')) {
      --length;  // a "./" part
      continue;
    }
    slashed[length++] = b;
  }
  slashed[length] = '\0';
  int columns = 0;
  if (IsUtf8(slashed) || diskimage::ShiftJisToUtf8(slashed, name, size, columns) < 0) {
    snprintf(name, size, "%s", slashed);
  }
}

// Reads the current member whole into the buffer of `depth`; false, with `why`, when it cannot.
bool ReadMember(archive* reader, int depth, size_t& size, const char*& why) {
  MemberBuffer& buffer = member_buffers[depth];
  size = 0;
  for (;;) {
    if (size == buffer.capacity) {
      if (buffer.capacity >= kMaxArchiveMemberSize) {
        why = "larger than 256 MiB";
        return false;
      }
      const size_t grown = buffer.capacity == 0 ? size_t{1} << 20 : buffer.capacity * 2;
      void* larger = realloc(buffer.bytes, grown);
      if (larger == nullptr) {
        why = "not enough memory";
        return false;
      }
      buffer.bytes = static_cast<unsigned char*>(larger);
      buffer.capacity = grown;
    }
    const la_ssize_t got = calls->read_data(reader, buffer.bytes + size, buffer.capacity - size);
    if (got < 0) {
      why = calls->error_string(reader) != nullptr ? calls->error_string(reader) : "read error";
      return false;
    }
    if (got == 0) return true;
    size += static_cast<size_t>(got);
  }
}

// Walks the archive `reader` has open: `self` names it in diagnostics, `shown` the archive named or
// found in a folder, whose members' paths `member_prefix` and `folder_prefix` begin ("" or
// "inner.zip:" and "inner/").
bool WalkOpen(archive* reader, const char* self, const char* shown, const char* member_prefix,
              const char* folder_prefix, int depth, Diagnostics& diagnostics,
              ArchiveVisitor& visitor);

// Opens the archive in `bytes` (or the file `path`) and walks it.
bool WalkOne(const char* path, const unsigned char* bytes, size_t size, const char* self,
             const char* shown, const char* member_prefix, const char* folder_prefix, int depth,
             Diagnostics& diagnostics, ArchiveVisitor& visitor) {
  archive* reader = calls->read_new();
  if (reader == nullptr) {
    diagnostics.Report(self, "not enough memory to read the archive");
    return false;
  }
  calls->support_filter_all(reader);
  calls->support_format_all(reader);
  const int opened = path != nullptr ? calls->open_filename(reader, path, kArchiveBlockSize)
                                     : calls->open_memory(reader, bytes, size);
  bool whole;
  if (opened != ARCHIVE_OK) {
    diagnostics.Report(
        self, "cannot read the archive: %s",
        calls->error_string(reader) != nullptr ? calls->error_string(reader) : "unknown format");
    whole = false;
  } else {
    whole =
        WalkOpen(reader, self, shown, member_prefix, folder_prefix, depth, diagnostics, visitor);
  }
  calls->read_free(reader);
  return whole;
}

bool WalkOpen(archive* reader, const char* self, const char* shown, const char* member_prefix,
              const char* folder_prefix, int depth, Diagnostics& diagnostics,
              ArchiveVisitor& visitor) {
  bool whole = true;
  archive_entry* entry;
  int status;
  while ((status = calls->next_header(reader, &entry)) == ARCHIVE_OK || status == ARCHIVE_WARN) {
    if (calls->entry_filetype(entry) != AE_IFREG || calls->entry_pathname(entry) == nullptr) {
      continue;
    }
    char name[kNameSize];
    MemberName(calls->entry_pathname(entry), name, sizeof name);
    const size_t archive_extension = ArchiveExtensionLength(name);
    if (!HasImageExtension(name) && archive_extension == 0 && !visitor.EveryFile()) {
      visitor.PassOver();
      continue;
    }
    char member[kNameSize + 64];
    snprintf(member, sizeof member, "%s%s", member_prefix, name);
    char named[2 * kNameSize];
    snprintf(named, sizeof named, "%s:%s", shown, member);
    if (archive_extension > 0 && depth + 1 >= kMaxArchiveDepth) {
      diagnostics.Report(named, "archives nested deeper than %d are not read", kMaxArchiveDepth);
      whole = false;
      continue;
    }
    size_t size;
    const char* why = "";
    if (!ReadMember(reader, depth, size, why)) {
      diagnostics.Report(named, "cannot be read from the archive: %s; passed over", why);
      whole = false;
      // A member cut short leaves libarchive unsure where the next begins: the next header says.
      continue;
    }
    char folder[kNameSize + 64];
    snprintf(folder, sizeof folder, "%s%s", folder_prefix, name);
    if (archive_extension == 0) {
      visitor.VisitMember(member, folder, member_buffers[depth].bytes, size);
      continue;
    }
    char inner_member[sizeof member + 1];
    snprintf(inner_member, sizeof inner_member, "%s:", member);
    char inner_folder[sizeof folder + 1];
    snprintf(inner_folder, sizeof inner_folder, "%s/", folder);
    whole &= WalkOne(nullptr, member_buffers[depth].bytes, size, named, shown, inner_member,
                     inner_folder, depth + 1, diagnostics, visitor);
  }
  if (status != ARCHIVE_EOF) {
    diagnostics.Report(
        self, "the archive is damaged: %s; members after the damage not read",
        calls->error_string(reader) != nullptr ? calls->error_string(reader) : "unknown error");
    whole = false;
  }
  return whole;
}

}  // namespace

bool ArchivesAvailable() { return true; }

bool WalkArchive(const char* path, Diagnostics& diagnostics, ArchiveVisitor& visitor) {
  calls = Library();
  if (calls == nullptr) {
    diagnostics.Report(path,
                       "cannot read the archive: libarchive (libarchive.so.13) is not "
                       "installed");
    return false;
  }
  return WalkOne(path, nullptr, 0, path, path, "", "", 0, diagnostics, visitor);
}

#endif
