// A fixture for end-to-end tests: a fresh directory holding the image and an empty working
// directory, a run of the program in it, and a check that the image is never modified.
#ifndef TESTS_E2E_FIXTURE_H_
#define TESTS_E2E_FIXTURE_H_

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/d88_builder.h"
#include "tests/run_program.h"
#include "tests/test_files.h"

// Shift-JIS "ファイルをオープンできません", the open-failure message.
inline const std::string kCannotOpen =
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x83\x49\x81\x5b\x83\x76\x83\x93\x82\xc5\x82\xab"
    "\x82\xdc\x82\xb9\x82\xf1";

inline std::string FileEntry(const Bytes& bytes) {
  return "file:" + std::string(bytes.begin(), bytes.end());
}

// Lines joined with the platform's line ending after each.
inline std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + LineEnd();
  return text;
}

// The name under which a file created as `name` shows: Windows drops trailing spaces and points.
inline std::string HostName(std::string name) {
  while (UnderLauncher() && !name.empty() && (name.back() == ' ' || name.back() == '.')) {
    name.pop_back();
  }
  return name;
}

class E2eTest : public ::testing::Test {
 protected:
  explicit E2eTest(const std::string& program) : program_(program) {}

  void SetUp() override {
    // Readable for the unprivileged user of the permission tests.
    chmod(root.path().c_str(), 0755);
    mkdir(work().c_str(), 0755);
  }

  std::string work() const { return root / "work"; }
  std::string image_path() const { return root / "image.d88"; }
  void SetImage(const Bytes& bytes) {
    image = bytes;
    WriteFile(image_path(), bytes);
    chmod(image_path().c_str(), 0644);
  }

  // Runs the program with `args` in the working directory; the image must be left unchanged.
  RunResult Run(const std::vector<std::string>& args, RunOptions options = {}) {
    options.cwd = work();
    RunResult result = RunProgram(ProgramCommand(program_), args, options);
    if (!image.empty()) {
      EXPECT_EQ(ReadFile(image_path()), image) << "the image was modified";
    }
    return result;
  }
  RunResult RunOnImage(std::vector<std::string> options = {}, RunOptions run = {}) {
    options.insert(options.begin(), image_path());
    return Run(options, run);
  }

  Tree WorkTree() const { return Snapshot(work()); }

  TempDir root;
  Bytes image;

 private:
  std::string program_;
};

#endif  // TESTS_E2E_FIXTURE_H_
