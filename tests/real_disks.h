// Real disks written by real machines, beside the project in ../shared/realdisks: a fresh clone
// lacks them, so a test that needs one skips, saying why; where REAL_DISKS_REQUIRED is set (CI,
// which has them) a missing disk fails the test instead.
#ifndef TESTS_REAL_DISKS_H_
#define TESTS_REAL_DISKS_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

// Declares `variable`, the path of real disk `name`, or leaves the test when it is absent.
#define REAL_DISK_OR_SKIP(variable, name)                                      \
  const std::string variable = std::string(SHARED_DIR "/realdisks/") + (name); \
  if (access(variable.c_str(), R_OK) != 0) {                                   \
    if (getenv("REAL_DISKS_REQUIRED") != nullptr) FAIL() << "no " << variable; \
    GTEST_SKIP() << "no " << variable                                          \
                 << ": the real disks come with ../shared beside the "         \
                    "project";                                                 \
  }

#endif  // TESTS_REAL_DISKS_H_
