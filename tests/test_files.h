// Temporary directories and whole-file reads and writes for the tests.
#ifndef TESTS_TEST_FILES_H_
#define TESTS_TEST_FILES_H_

#include <string>

#include "tests/d88_builder.h"

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);
std::string ReadText(const std::string& path);  // the file's bytes as they are

#endif  // TESTS_TEST_FILES_H_
