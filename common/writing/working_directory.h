// Entering a subdirectory and coming back to the directory the run started in, by a saved
// handle, so that a subdirectory that is a symbolic link cannot strand the run elsewhere. A thread
// works in the process's current directory, or, on POSIX systems, in a folder of its own, so
// that several threads can write in folders of their own at once.
#ifndef COMMON_WRITING_WORKING_DIRECTORY_H_
#define COMMON_WRITING_WORKING_DIRECTORY_H_

#include "common/console/diagnostics.h"

// Makes the calling thread work in a folder of its own, from the process's current directory on:
// entering, returning and the names SaveFile and SetModificationTime take are the thread's from
// then on, and the process's current directory stays. Returns 0, or the errno value (ENOSYS where
// the system cannot: Windows).
int WorkInOwnFolder();

// Makes the calling thread work in the process's current directory again.
void EndOwnFolder();

// The folder the calling thread's names are in, for the system's *at calls: its own, or
// AT_FDCWD. POSIX systems only.
#ifndef _WIN32
int WorkingFolder();
#endif

class StartingDirectory {
 public:
  StartingDirectory();
  ~StartingDirectory();
  StartingDirectory(const StartingDirectory&) = delete;
  StartingDirectory& operator=(const StartingDirectory&) = delete;

  // Remembers the current directory (the thread's). Returns 0, or the errno value when it cannot
  // be remembered.
  int Save();

  // Creates the directory `name` in the current directory unless it exists, and makes it the
  // current directory. Returns 0, or the errno value of the step that failed; the current
  // directory is then unchanged. `name` is Shift-JIS, or UTF-8 with `utf8_name` (Windows gets it
  // in UTF-16 decoded from that; POSIX systems as it is).
  static int Enter(const char* name, bool utf8_name = false);

  // Makes the remembered directory current again. Returns 0, or the errno value.
  int Return();

 private:
#ifdef _WIN32
  wchar_t path[32768];
#else
  int handle;
#endif
};

// Creates the folder `name` in the current directory unless it exists and makes it the current
// directory, as StartingDirectory::Enter does, but refuses (ELOOP) a name that is a symbolic link
// or another reparse point, so that LeaveSubfolder comes back to where the run was. Returns 0, or
// the errno value of the step that failed; the current directory is then unchanged.
int EnterSubfolder(const char* name, bool utf8_name);

// Creates and enters, as EnterSubfolder does, each part of an image's folder `path` ('/' between
// its parts, UTF-8; the separators are overwritten). On failure reports "cannot create or enter
// the folder "PART": REASON; image skipped" under `shown` and returns false, having entered the
// parts before it.
bool EnterImageFolder(char* path, const char* shown, Diagnostics& diagnostics);

// Makes the parent of the current directory current. Returns 0, or the errno value.
int LeaveSubfolder();

// A disk's folder (ASCII `name`, as 000): remembers the current directory in `start`, then
// creates the folder unless it exists and enters it. On failure reports "cannot create or enter
// the directory: REASON; disk skipped" through `diagnostics` and returns false.
bool EnterDiskFolder(StartingDirectory& start, const char* name, Diagnostics& diagnostics);

// Comes back from the disk's folder `name` to the directory `start` remembered. On failure
// reports "cannot return to the starting directory: REASON; run stopped" and returns false: the
// run must stop.
bool LeaveDiskFolder(StartingDirectory& start, const char* name, Diagnostics& diagnostics);

// Removes the folder `name` (ASCII) from the current directory if it is empty; does nothing
// otherwise.
void RemoveEmptyFolder(const char* name);

#endif  // COMMON_WRITING_WORKING_DIRECTORY_H_
