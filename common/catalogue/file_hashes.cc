// File hashes through zlib and nettle; without them (a build that lacks them), none.
#include "common/catalogue/file_hashes.h"

#ifdef DISKIMAGE_WITH_HASHES
#include <nettle/md5.h>
#include <nettle/sha1.h>
#include <nettle/sha2.h>
#include <zlib.h>
#endif

#include <cstdio>
#include <cstring>
#include <new>

namespace {

#ifdef DISKIMAGE_WITH_HASHES
struct DigestStates {
  md5_ctx md5;
  sha1_ctx sha1;
  sha256_ctx sha256;
};
#else
struct DigestStates {};
#endif

}  // namespace

bool HashesAvailable() {
#ifdef DISKIMAGE_WITH_HASHES
  return true;
#else
  return false;
#endif
}

void Hasher::Start() {
  static_assert(sizeof(DigestStates) <= sizeof digests, "the digests' states do not fit");
  DigestStates* states = new (digests) DigestStates;
  crc32 = 0;  // zlib's start value
#ifdef DISKIMAGE_WITH_HASHES
  md5_init(&states->md5);
  sha1_init(&states->sha1);
  sha256_init(&states->sha256);
#else
  (void)states;
#endif
}

void Hasher::Add(const unsigned char* bytes, size_t size) {
#ifdef DISKIMAGE_WITH_HASHES
  DigestStates* states = std::launder(reinterpret_cast<DigestStates*>(digests));
  // zlib takes at most 4 GiB less a byte at a time.
  for (size_t done = 0; done < size;) {
    const uInt piece = static_cast<uInt>(size - done < 0x40000000 ? size - done : 0x40000000);
    crc32 = static_cast<uint32_t>(::crc32(crc32, bytes + done, piece));
    done += piece;
  }
  sha1_update(&states->sha1, size, bytes);
  if (crc32_and_sha1_only) return;
  md5_update(&states->md5, size, bytes);
  sha256_update(&states->sha256, size, bytes);
#else
  (void)bytes;
  (void)size;
#endif
}

void Hasher::Finish(FileHashes& hashes) {
  memset(&hashes, 0, sizeof hashes);
  hashes.crc32 = crc32;
#ifdef DISKIMAGE_WITH_HASHES
  DigestStates* states = std::launder(reinterpret_cast<DigestStates*>(digests));
  sha1_digest(&states->sha1, sizeof hashes.sha1, hashes.sha1);
  if (!crc32_and_sha1_only) {
    md5_digest(&states->md5, sizeof hashes.md5, hashes.md5);
    sha256_digest(&states->sha256, sizeof hashes.sha256, hashes.sha256);
  }
#endif
  Start();
}

void FormatHex(const unsigned char* bytes, size_t size, char* text) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < size; ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 15];
  }
  text[2 * size] = '\0';
}

bool HashFile(const char* path, FileHashes& hashes, int64_t& size) {
  if (!HashesAvailable()) return false;
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  unsigned char piece[64 * 1024];
  Hasher hasher(true);
  size = 0;
  size_t got;
  while ((got = fread(piece, 1, sizeof piece, file)) > 0) {
    hasher.Add(piece, got);
    size += static_cast<int64_t>(got);
  }
  const bool whole = ferror(file) == 0;
  fclose(file);
  hasher.Finish(hashes);
  return whole;
}
