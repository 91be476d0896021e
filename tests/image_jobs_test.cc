// The image jobs write what each image's worker writes in the images' order, whatever order the
// workers finish in, through an output buffer that overflows, with the caller's own lines between.
#include "common/collections/image_jobs.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "tests/test_files.h"

namespace {

// Writes lines of its image's name and bytes; later images finish sooner.
class LineWork final : public ImageWork {
 public:
  void ReadImage(int, const CollectionImage& image, const void* note) override {
    const int number = *static_cast<const int*>(note);
    std::this_thread::sleep_for(std::chrono::microseconds(300 * (number % 5)));
    for (int line = 0; line < number % 7; ++line) {
      OutPrintf("%s line %d of %zu bytes\n", image.shown, line, image.size);
    }
    if (number % 3 == 0) {
      const std::string diagnostic = std::string("said of ") + image.shown + "\n";
      ErrWrite(diagnostic.data(), diagnostic.size());
    }
    if (number % 4 == 0) OutFlush();
    if (image.bytes != nullptr) OutWrite(image.bytes, image.size);
  }
};

TEST(ImageJobsTest, OutputComesInTheImagesOrderThoughTheBufferOverflows) {
  TempDir root;
  const std::string path = root / "output.txt";
  fflush(stdout);
  const int saved_out = dup(1), saved_err = dup(2);
  FILE* file = fopen(path.c_str(), "w");
  ASSERT_NE(file, nullptr);
  dup2(fileno(file), 1);
  dup2(fileno(file), 2);
  std::string expected;
  {
    LineWork work;
    ImageJobs jobs;
    ASSERT_TRUE(jobs.Start(3, work, 64));
    for (int number = 0; number < 60; ++number) {
      const std::string name = "image" + std::to_string(number);
      const std::string member = number % 2 == 0 ? "" : std::string(number, 'm') + "\n";
      const CollectionImage image = {
          nullptr,
          name.c_str(),
          name.c_str(),
          member.empty() ? nullptr : reinterpret_cast<const unsigned char*>(member.data()),
          member.size(),
          "pack.zip"};
      jobs.Submit(image, &number, sizeof number);
      for (int line = 0; line < number % 7; ++line) {
        expected += name + " line " + std::to_string(line) + " of " +
                    std::to_string(member.size()) + " bytes\n";
      }
      if (number % 3 == 0) expected += "said of " + name + "\n";
      expected += member;
      if (number == 30) {
        OutText("the caller's line\n");
        expected += "the caller's line\n";
      }
    }
    jobs.Stop();
  }
  fflush(stdout);
  dup2(saved_out, 1);
  dup2(saved_err, 2);
  close(saved_out);
  close(saved_err);
  fclose(file);
  const Bytes written = ReadFile(path);
  EXPECT_EQ(std::string(written.begin(), written.end()), expected);
}

}  // namespace
