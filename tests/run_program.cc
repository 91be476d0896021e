// Running the programs under test in a child process.
#include "tests/run_program.h"

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "tests/test_files.h"

std::vector<std::string> ProgramCommand(const std::string& name) {
  std::vector<std::string> command;
  if (const char* wrapper = getenv("TEST_WRAPPER"); wrapper != nullptr) {
    std::istringstream words(wrapper);
    for (std::string word; words >> word;) command.push_back(word);
  }
  if (const char* launcher = getenv("TEST_LAUNCHER"); launcher != nullptr && *launcher != '\0') {
    command.push_back(launcher);
  }
  std::string variable;
  for (char c : name) variable += static_cast<char>(toupper(static_cast<unsigned char>(c)));
  variable += "_UNDER_TEST";
  if (const char* path = getenv(variable.c_str()); path != nullptr && *path != '\0') {
    command.push_back(path);
  } else {
    command.push_back(BuiltProgramCommand(name)[0]);
  }
  return command;
}

std::vector<std::string> BuiltProgramCommand(const std::string& name) {
  return {name == "dskcut"    ? DSKCUT_PROGRAM
          : name == "dskpull" ? DSKPULL_PROGRAM
          : name == "dskinfo" ? DSKINFO_PROGRAM
          : name == "dskconv" ? DSKCONV_PROGRAM
          : name == "dskput"  ? DSKPUT_PROGRAM
                              : DSKGET_PROGRAM};
}

bool UnderLauncher() {
  const char* launcher = getenv("TEST_LAUNCHER");
  return launcher != nullptr && *launcher != '\0';
}

std::string LineEnd() { return UnderLauncher() ? "\r\n" : "\n"; }

RunResult RunProgram(const std::vector<std::string>& command, const std::vector<std::string>& args,
                     const RunOptions& options) {
  TempDir capture;
  const std::string out_path =
      options.stdout_path.empty() ? capture / "stdout" : options.stdout_path;
  const std::string err_path = capture / "stderr";
  std::vector<std::string> words = command;
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int terminal = -1, terminal_side = -1;
  const bool any_terminal = options.stdout_terminal || options.stderr_terminal;
  if (any_terminal) {
    termios raw = {};
    cfmakeraw(&raw);
    winsize size = {};
    size.ws_col = static_cast<unsigned short>(options.terminal_columns);
    size.ws_row = 24;
    if (openpty(&terminal, &terminal_side, nullptr, &raw, &size) != 0) {
      throw std::runtime_error("openpty failed");
    }
  }
  int feed[2] = {-1, -1};
  if (options.stdin_pipe && pipe(feed) != 0) throw std::runtime_error("pipe failed");

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int out = options.stdout_terminal
                        ? terminal_side
                        : open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = options.stderr_terminal
                        ? terminal_side
                        : open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = options.stdin_pipe ? feed[0] : open("/dev/null", O_RDONLY);
    if (options.stdin_pipe) close(feed[1]);
    if (any_terminal) close(terminal);
    if (out < 0 || err < 0 || in < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || dup2(in, 0) < 0) {
      _exit(126);
    }
    if (options.file_size_limit >= 0) {
      const rlimit limit = {static_cast<rlim_t>(options.file_size_limit),
                            static_cast<rlim_t>(options.file_size_limit)};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    if (options.as_nobody &&
        (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
      _exit(126);
    }
    if (chdir(options.cwd.c_str()) != 0) _exit(126);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  RunResult result;
  if (options.stdin_pipe) {
    signal(SIGPIPE, SIG_IGN);  // a program may stop reading early
    close(feed[0]);
    for (size_t done = 0; done < options.stdin_bytes.size();) {
      const ssize_t wrote =
          write(feed[1], options.stdin_bytes.data() + done, options.stdin_bytes.size() - done);
      if (wrote <= 0) break;  // the program stopped reading
      done += static_cast<size_t>(wrote);
    }
    close(feed[1]);
  }
  if (any_terminal) {
    close(terminal_side);
    std::string& shown = options.stdout_terminal ? result.out : result.err;
    char chunk[4096];
    for (ssize_t got; (got = read(terminal, chunk, sizeof chunk)) > 0;) shown.append(chunk, got);
    close(terminal);
  }
  int wait_status = 0;
  if (waitpid(pid, &wait_status, 0) != pid) throw std::runtime_error("waitpid failed");
  result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  if (options.stdout_path.empty() && !options.stdout_terminal) result.out = ReadText(out_path);
  if (!options.stderr_terminal) result.err = ReadText(err_path);
  return result;
}

Tree Snapshot(const std::string& root) {
  namespace fs = std::filesystem;
  Tree tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string relative = it->path().lexically_relative(root).string();
    if (it->is_symlink()) {
      tree[relative] = "link:" + fs::read_symlink(it->path()).string();
    } else if (it->is_directory()) {
      tree[relative] = "dir";
    } else {
      tree[relative] = "file:" + ReadText(it->path().string());
    }
  }
  return tree;
}
