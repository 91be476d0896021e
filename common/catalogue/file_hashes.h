// The hashes collections are checked and de-duplicated by: CRC32 (zlib's), MD5, SHA-1 and SHA-256
// (nettle's), of bytes given in one piece or several.
#ifndef COMMON_CATALOGUE_FILE_HASHES_H_
#define COMMON_CATALOGUE_FILE_HASHES_H_

#include <cstddef>
#include <cstdint>

struct FileHashes {
  uint32_t crc32;
  unsigned char md5[16];
  unsigned char sha1[20];
  unsigned char sha256[32];
};

// False in a build without zlib and nettle: there every hash is of nothing (zeros).
bool HashesAvailable();

// Hashes bytes given in order, in as many pieces as come; no memory beyond the object.
class Hasher {
 public:
  // With `crc32_and_sha1_only`, MD5 and SHA-256 are left out (zeros), as for a whole image.
  explicit Hasher(bool crc32_and_sha1_only = false) : crc32_and_sha1_only(crc32_and_sha1_only) {
    Start();
  }
  void Start();
  void Add(const unsigned char* bytes, size_t size);
  // The hashes of everything added since Start; then starts again.
  void Finish(FileHashes& hashes);

 private:
  [[maybe_unused]] bool crc32_and_sha1_only;  // read only where the build has hashes
  uint32_t crc32 = 0;
  alignas(8) unsigned char digests[512];  // nettle's MD5, SHA-1 and SHA-256 states
};

// Hashes the file `path` (read from where it lies, 64 KiB at a time, on the stack) with
// CRC32 and SHA-1 only, and gives its size. False when it cannot be opened or read whole, or the
// build has no hashes.
bool HashFile(const char* path, FileHashes& hashes, int64_t& size);

// Writes `size` bytes as lowercase hexadecimal and a NUL into `text` (2 * size + 1 bytes).
void FormatHex(const unsigned char* bytes, size_t size, char* text);

#endif  // COMMON_CATALOGUE_FILE_HASHES_H_
