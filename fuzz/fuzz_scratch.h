// What the fuzz targets share: a scratch directory for the image and the extracted files, and
// the checks that must hold after every run of a program.
#ifndef FUZZ_FUZZ_SCRATCH_H_
#define FUZZ_FUZZ_SCRATCH_H_

#include <cstddef>
#include <cstdint>

// Names the image file of the scratch area from now on ("image.d88" until then): its extension
// tells the programs whether it is an image or an archive.
void SetScratchImageName(const char* name);

// Writes the input as the image file of this process's scratch area and returns its path.
const char* WriteScratchImage(const uint8_t* data, size_t size);

// Runs a program's whole run on the scratch image inside an emptied output directory, then
// checks that the exit status was 0, 1 or 2, that the current directory is the output directory
// again, that the image is unchanged and that nothing was created beside the output directory.
// The input's length chooses the run: bit i of `size` puts options[i] (of `option_count`) after
// the image path, and bit `option_count` gives the image as "-", read from standard input.
// Returns the exit status.
int RunProgramOnScratchImage(int (*run)(int argc, char** argv), const char* program,
                             const char* const* options, int option_count, const uint8_t* data,
                             size_t size);

// This process's scratch directory (made on first use), and a folder in it emptied: removed with
// all it holds and made again.
const char* ScratchDirectory();
void EmptyScratchFolder(const char* path);

// Reports a broken rule and aborts, so that the fuzzer keeps the input.
[[noreturn]] void FuzzFail(const char* what);

#endif  // FUZZ_FUZZ_SCRATCH_H_
