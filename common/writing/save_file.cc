// Writing one output file: a new name is created and written directly, an existing one is
// replaced by a complete temporary file renamed over it.
#include "common/writing/save_file.h"

#include <fcntl.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/uio.h>
#include <unistd.h>

#include "common/writing/working_directory.h"
#endif

namespace {

#ifdef _WIN32
constexpr int kPathFolder = 0;
int WorkingFolderOfNames() { return 0; }
// Names are passed to Windows in UTF-16, decoded from Shift-JIS (code page 932) or UTF-8 rather
// than from the system's code page, so that a Japanese name comes out right on any Windows.
UINT name_code_page = 932;
bool Wide(const char* path, wchar_t* wide) {
  return WideFileName(path, name_code_page == CP_UTF8, wide);
}
int OpenNewFile(const char* path) {
  wchar_t wide[MAX_PATH];
  if (!Wide(path, wide)) return errno = EINVAL, -1;
  return _wopen(wide, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
void RemoveFile(const char* path) {
  wchar_t wide[MAX_PATH];
  if (Wide(path, wide)) _wremove(wide);
}
bool SameFileAs(const char* path, const FileInfo& keep) {
  wchar_t wide[MAX_PATH];
  FileInfo existing;
  return Wide(path, wide) && GetFileInfo(wide, existing) && SameFile(existing, keep);
}
int ProcessId() { return _getpid(); }
// Writes from `offset` bytes into the first of the `count` pieces on; returns the bytes written
// or -1.
long WriteSome(int fd, const FilePiece* pieces, int, size_t offset) {
  const size_t size = pieces[0].size - offset;
  return _write(fd, pieces[0].bytes + offset,
                static_cast<unsigned>(size < (1u << 30) ? size : (1u << 30)));
}
int CloseFile(int fd) { return _close(fd); }
// Paths as the command line gives them, in the system's code page.
int OpenNewPath(const char* path) {
  return _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
void RemovePath(const char* path) { remove(path); }
int ReplacePath(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) ? 0 : EACCES;
}
int RenameNew(const char* from, const char* to) {
  if (MoveFileExA(from, to, 0)) return 0;
  return GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS ? EEXIST
                                                                                       : EACCES;
}
int ReplaceFile(const char* from, const char* to) {
  wchar_t wide_from[MAX_PATH], wide_to[MAX_PATH];
  if (!Wide(from, wide_from) || !Wide(to, wide_to)) return EINVAL;
  if (MoveFileExW(wide_from, wide_to, MOVEFILE_REPLACE_EXISTING)) return 0;
  return GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
}
#else
constexpr int kPathFolder = AT_FDCWD;
int WorkingFolderOfNames() { return WorkingFolder(); }
// Names of extracted files are in the thread's folder; paths (RenameNew and the *Path calls) are
// as the command line gives them.
int OpenNewFile(const char* path) {
  // The umask applies.
  return openat(WorkingFolder(), path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
void RemoveFile(const char* path) { unlinkat(WorkingFolder(), path, 0); }
bool SameFileAs(const char* path, const FileInfo& keep) {
  FileInfo existing;
  return GetFileInfoAt(WorkingFolder(), path, existing) && SameFile(existing, keep);
}
int ProcessId() { return static_cast<int>(getpid()); }
long WriteSome(int fd, const FilePiece* pieces, int count, size_t offset) {
  iovec vectors[64];
  int used = 0;
  for (; used < count && used < 64; ++used) {
    const size_t skip = used == 0 ? offset : 0;
    vectors[used].iov_base = const_cast<unsigned char*>(pieces[used].bytes + skip);
    vectors[used].iov_len = pieces[used].size - skip;
  }
  return writev(fd, vectors, used);
}
int CloseFile(int fd) { return close(fd); }
int ReplaceFile(const char* from, const char* to) {
  return renameat(WorkingFolder(), from, WorkingFolder(), to) == 0 ? 0 : errno;
}
int OpenNewPath(const char* path) {
  return open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
void RemovePath(const char* path) { remove(path); }
int ReplacePath(const char* from, const char* to) { return rename(from, to) == 0 ? 0 : errno; }
// A hard link makes the name only where none exists; a file system without links gets a rename
// after a look (a name made in between is replaced).
int RenameNew(const char* from, const char* to) {
  if (link(from, to) == 0) return unlink(from), 0;
  if (errno == EEXIST) return EEXIST;
  if (access(to, F_OK) == 0) return EEXIST;
  return ReplacePath(from, to);
}
#endif

int process_id = 0;
std::atomic<unsigned> serial{0};

// The file a thread is writing, which an interrupted run removes: a new file under its own name,
// or the temporary file that is to replace an existing one. Set once the file exists.
struct PendingFile {
  std::atomic<int> set{0};
  // While a file is being created and marked, or closed and unmarked, a signal waits: the mark
  // must say exactly whether a file of ours is there to remove.
  std::atomic<int> deferring{0};
#ifdef _WIN32
  wchar_t name[MAX_PATH];
#else
  int folder = AT_FDCWD;
  char name[4096];
#endif
};

// One for each thread that writes (the run's and its workers'), claimed at its first file; a
// thread beyond them writes with one of its own, which a signal does not see.
constexpr int kPendingThreads = 72;
PendingFile pending_files[kPendingThreads];
std::atomic<int> pending_claimed{0};
std::atomic<int> deferred_signal{0};
thread_local PendingFile* own_pending = nullptr;

PendingFile& OwnPending() {
  if (own_pending == nullptr) {
    const int claimed = pending_claimed.fetch_add(1);
    thread_local PendingFile unseen;
    own_pending = claimed < kPendingThreads ? &pending_files[claimed] : &unseen;
  }
  return *own_pending;
}

// Marks the file `path` (in `folder`, on POSIX systems) as the one this thread is writing.
void MarkPending(int folder, const char* path) {
  PendingFile& file = OwnPending();
#ifdef _WIN32
  (void)folder;
  if (!Wide(path, file.name)) return;
#else
  // Once for every file written: a plain copy, not a formatted print.
  const size_t length = strlen(path);
  if (length >= sizeof file.name) return;
  memcpy(file.name, path, length + 1);
  file.folder = folder;
#endif
  file.set.store(1);
}

void Unmark() { OwnPending().set.store(0); }

// Removes every file being written, then gives the process `signal_number` with its default
// action, which ends it once the handler returns (from a signal handler) or at once.
void RemovePendingFilesAndRaise(int signal_number) {
  const int claimed = pending_claimed.load();
  for (int i = 0; i < claimed && i < kPendingThreads; ++i) {
    if (pending_files[i].set.load() == 0) continue;
#ifdef _WIN32
    _wremove(pending_files[i].name);
#else
    unlinkat(pending_files[i].folder, pending_files[i].name, 0);
#endif
  }
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

// True while some thread creates and marks, or closes and unmarks, a file.
bool AnyDeferring() {
  const int claimed = pending_claimed.load();
  for (int i = 0; i < claimed && i < kPendingThreads; ++i) {
    if (pending_files[i].deferring.load() != 0) return true;
  }
  return false;
}

// On SIGINT, SIGTERM or SIGHUP.
extern "C" void RemovePendingFileAndStop(int signal_number) {
  if (AnyDeferring()) {
    deferred_signal.store(signal_number);
    return;
  }
  RemovePendingFilesAndRaise(signal_number);
}

void Prepare() {
#ifdef SIGXFSZ
  // A file-size limit must show as a failed write (EFBIG), not end the whole run.
  signal(SIGXFSZ, SIG_IGN);
#endif
  // A signal the run was started to ignore stays ignored.
  for (const int signal_number : {SIGINT, SIGTERM
#ifdef SIGHUP
                                  ,
                                  SIGHUP
#endif
       }) {
    if (signal(signal_number, RemovePendingFileAndStop) == SIG_IGN) {
      signal(signal_number, SIG_IGN);
    }
  }
  process_id = ProcessId();
}

// Prepares the process once, whichever thread writes first.
void PrepareOnce() {
  static const bool prepared = (Prepare(), true);
  (void)prepared;
}

// Creates a temporary file that no other file or process uses, named into `path`.
int CreateTemporaryFile(char* path, size_t path_size) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    snprintf(path, path_size, ".dsk%d-%u.tmp", process_id, serial.fetch_add(1));
    const int fd = OpenNewFile(path);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Returns 0 once all the pieces are written, otherwise the errno value.
int WriteAll(int fd, const FilePiece* pieces, int count) {
  size_t offset = 0;  // bytes of pieces[0] written
  while (count > 0) {
    if (offset == pieces[0].size) {
      ++pieces;
      --count;
      offset = 0;
      continue;
    }
    const long written = WriteSome(fd, pieces, count, offset);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return written < 0 ? errno : EIO;
    for (size_t rest = static_cast<size_t>(written); rest > 0;) {
      const size_t step = rest < pieces[0].size - offset ? rest : pieces[0].size - offset;
      offset += step;
      rest -= step;
      if (offset == pieces[0].size && rest > 0) {
        ++pieces;
        --count;
        offset = 0;
      }
    }
  }
  return 0;
}

// Starts a step that a signal must not cut in two; EndUninterrupted acts on a signal that came.
void BeginUninterrupted() { OwnPending().deferring.store(1); }
void EndUninterrupted() {
  OwnPending().deferring.store(0);
  // Of threads ending their steps at once, at least one sees the others' done and acts.
  if (deferred_signal.load() == 0 || AnyDeferring()) return;
  const int signal_number = deferred_signal.exchange(0);
  if (signal_number == 0) return;
  RemovePendingFilesAndRaise(signal_number);
#ifndef _WIN32
  // Still here: a worker thread, which blocks the signal; the process gets it instead, and ends.
  kill(getpid(), signal_number);
  for (;;) pause();
#endif
}

// Writes all of `data` to the new file `fd` named `path`, marked pending, and closes it; removes
// it on failure. A signal during the write removes it.
int WriteNewFile(int fd, const char* path, const FilePiece* pieces, int piece_count) {
  int error = WriteAll(fd, pieces, piece_count);
  BeginUninterrupted();
  if (CloseFile(fd) != 0 && error == 0) error = errno;
  if (error != 0) RemoveFile(path);
  return error;
}

}  // namespace

int SaveFile(const char* name, const FilePiece* pieces, int piece_count, const FileInfo& keep,
             bool utf8_name) {
  PrepareOnce();
#ifdef _WIN32
  name_code_page = utf8_name ? CP_UTF8 : 932;
#else
  (void)utf8_name;
#endif
  // A name that does not exist yet is created and written directly: there is no older file to
  // keep, and a failed write removes what it created.
  BeginUninterrupted();
  const int fd = OpenNewFile(name);
  const int open_error = errno;
  if (fd >= 0) MarkPending(WorkingFolderOfNames(), name);
  EndUninterrupted();
  if (fd >= 0) {
    const int error = WriteNewFile(fd, name, pieces, piece_count);
    Unmark();
    EndUninterrupted();
    return error;
  }
  if (open_error != EEXIST) return open_error;
  if (SameFileAs(name, keep)) return kSaveWouldReplaceKeptFile;

  // An existing name (a file, a directory, a symbolic link) is replaced only by a complete file.
  char temporary[48];
  BeginUninterrupted();
  const int temporary_fd = CreateTemporaryFile(temporary, sizeof temporary);
  const int create_error = errno;
  if (temporary_fd >= 0) MarkPending(WorkingFolderOfNames(), temporary);
  EndUninterrupted();
  if (temporary_fd < 0) return create_error;
  int error = WriteNewFile(temporary_fd, temporary, pieces, piece_count);
  if (error == 0) {
    error = ReplaceFile(temporary, name);
    if (error != 0) RemoveFile(temporary);
  }
  Unmark();
  EndUninterrupted();
  return error;
}

int BeginStagedFile(const char* name, StagedFile& file) {
  PrepareOnce();
  const char* base = name;
  for (const char* c = name; *c != '\0'; ++c) {
    if (IsPathSeparator(*c)) base = c + 1;
  }
  const int folder_length = static_cast<int>(base - name);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int length = snprintf(file.temporary, sizeof file.temporary, "%.*s.dsk%d-%u.tmp",
                                folder_length, name, process_id, serial.fetch_add(1));
    if (length < 0 || static_cast<size_t>(length) >= sizeof file.temporary) return ENAMETOOLONG;
    BeginUninterrupted();
    file.fd = OpenNewPath(file.temporary);
    const int error = errno;
    if (file.fd >= 0) MarkPending(kPathFolder, file.temporary);
    EndUninterrupted();
    if (file.fd >= 0) return 0;
    if (error != EEXIST) return error;
  }
  return EEXIST;
}

int WriteStagedFile(StagedFile& file, const FilePiece* pieces, int count) {
  return WriteAll(file.fd, pieces, count);
}

int CloseStagedFile(StagedFile& file) {
  const int result = CloseFile(file.fd);
  file.fd = -1;
  return result == 0 ? 0 : errno;
}

int KeepStagedFile(StagedFile& file, const char* name, bool replace) {
  BeginUninterrupted();
  const int error = replace ? ReplacePath(file.temporary, name) : RenameNew(file.temporary, name);
  if (error != 0) RemovePath(file.temporary);
  Unmark();
  EndUninterrupted();
  return error;
}

void DropStagedFile(StagedFile& file) {
  BeginUninterrupted();
  if (file.fd >= 0) CloseFile(file.fd);
  file.fd = -1;
  RemovePath(file.temporary);
  Unmark();
  EndUninterrupted();
}
