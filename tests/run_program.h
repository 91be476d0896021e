// Runs a built program the way a user would, in a given directory, and captures what it prints;
// snapshots the files and directories it leaves behind.
#ifndef TESTS_RUN_PROGRAM_H_
#define TESTS_RUN_PROGRAM_H_

#include <map>
#include <string>
#include <vector>

struct RunOptions {
  std::string cwd;
  std::string stdout_path;         // empty: captured
  long long file_size_limit = -1;  // RLIMIT_FSIZE in bytes, -1 for none
  bool as_nobody = false;          // drop root privileges to the user and group nobody
  bool stdout_terminal = false;    // standard output is a pseudo-terminal (in raw mode)
  bool stderr_terminal = false;    // standard error is one (both: they share it, in `out`)
  int terminal_columns = 0;        // the terminal's width (0: it does not say)
  bool stdin_pipe = false;         // standard input is a pipe fed with stdin_bytes
  std::string stdin_bytes;
};

struct RunResult {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// The command that runs program `name` ("dskcut", "dskpull", "dskinfo" or "dskget"): the
// environment variable NAME_UNDER_TEST (upper case) names another binary, and TEST_LAUNCHER a
// program to start it with (wine, for a Windows build); otherwise the binary built beside the
// tests. TEST_WRAPPER, words separated by spaces, goes in front of all (a checker such as
// valgrind).
std::vector<std::string> ProgramCommand(const std::string& name);

// The command that runs program `name` as built beside the tests, whatever the environment
// names: under a launcher, the host's own build of the program under test.
std::vector<std::string> BuiltProgramCommand(const std::string& name);

// True when the programs run under a launcher (a Windows build under wine).
bool UnderLauncher();

// The platform's line ending for text written by the programs.
std::string LineEnd();

// Runs `command` + `args` with the options and waits for it.
RunResult RunProgram(const std::vector<std::string>& command, const std::vector<std::string>& args,
                     const RunOptions& options);

// Every file, directory and symbolic link below `root`, by relative path: "dir", "link:TARGET" or
// the file's bytes after "file:".
using Tree = std::map<std::string, std::string>;
Tree Snapshot(const std::string& root);

#endif  // TESTS_RUN_PROGRAM_H_
