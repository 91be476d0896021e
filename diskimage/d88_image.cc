// The D88 disk catalogue, disk headers and sector search.
#include "d88_image.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr int kDiskSizeField = 0x1C;
constexpr int kMediaTypeField = 0x1B;
constexpr int kTrackTableField = 0x20;
constexpr int kNameLength = 16;

// Offsets are 64-bit here so that disk offset + track offset (each below 2^31) never wraps, and
// so that Windows, whose long is 32 bits, can reach them.
bool SeekTo(FILE* file, int64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, offset, SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

}  // namespace

int ReadLe16(const unsigned char* bytes) { return bytes[0] | (bytes[1] << 8); }

int32_t ReadLe32(const unsigned char* bytes) {
  const uint32_t value = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                         (static_cast<uint32_t>(bytes[2]) << 16) |
                         (static_cast<uint32_t>(bytes[3]) << 24);
  return static_cast<int32_t>(value);  // two's complement, defined since C++20 and on every target
}

D88Image::D88Image()
    : file(nullptr),
      disk_count(0),
      first_sector(1),
      last_sector(16),
      disk_offsets(),
      disk_size(0),
      disk_offset(-1),
      track_offsets(),
      media_type(-1),
      disk_name(),
      position(0),
      window_start(0),
      window_length(0) {}  // the window's bytes are read only after they are filled

D88Image::~D88Image() {
  if (file != nullptr) fclose(file);
}

bool D88Image::Open(const char* path) {
  if (file != nullptr) fclose(file);
  file = nullptr;
  disk_count = 0;
  media_type = -1;
  if (path == nullptr) return true;

  file = fopen(path, "rb");
  if (file == nullptr) return false;
  setvbuf(file, nullptr, _IONBF, 0);  // the window is the only buffer
  window_length = 0;

  unsigned char header[kDiskHeaderSize];
  // Kept wider than a stored offset: a disk that would begin at 2 GiB or beyond ends the
  // catalogue instead of wrapping round to an earlier offset.
  int64_t offset = 0;
  while (disk_count < kMaxDisks) {
    position = offset;
    if (ReadOn(header, sizeof header) < sizeof header) {
      // fopen succeeds on a directory on some systems: a file that cannot be read at all is a
      // failure to open, not an empty image.
      if (disk_count == 0 && ferror(file)) {
        fclose(file);
        file = nullptr;
        return false;
      }
      break;
    }
    disk_offsets[disk_count++] = static_cast<int32_t>(offset);
    // The size field is taken as unsigned: a size of 2^31 or more moves the next disk beyond
    // the reach of a stored offset rather than backwards.
    offset += static_cast<uint32_t>(ReadLe32(header + kDiskSizeField));
    if (offset > INT32_MAX) break;
  }
  return true;
}

bool D88Image::SelectDisk(int index) {
  if (file == nullptr) return false;
  disk_offset = -1;
  media_type = -1;
  disk_size = 0;
  disk_name[0] = '\0';
  if (index < 0 || index >= disk_count) return false;

  // Bytes that cannot be read (the file shrank since it was catalogued) stay zero.
  unsigned char header[kDiskHeaderSize] = {};
  disk_offset = disk_offsets[index];
  position = disk_offset;
  ReadOn(header, sizeof header);
  for (int i = 0; i < kTrackCount; ++i) {
    track_offsets[i] = ReadLe32(header + kTrackTableField + 4 * i);
  }
  media_type = header[kMediaTypeField];
  disk_size = ReadLe32(header + kDiskSizeField);
  memset(disk_name, 0, kNameLength);
  for (int i = 0; i < kNameLength && header[i] != 0; ++i) {
    disk_name[i] = static_cast<char>(header[i]);
  }
  return true;
}

void D88Image::SetSectorRange(int first, int last) {
  first_sector = first;
  last_sector = last;
}

bool D88Image::SeekToTrack(int track) {
  if (file == nullptr || track < 0 || track >= kTrackCount) return false;
  const int32_t offset = track_offsets[track];
  // An entry of 2^31 or more reads as negative and would point before the disk: it counts as an
  // absent track, like 0. An entry past the disk's size is not part of the disk.
  if (offset <= 0 || offset > disk_size) return false;
  position = static_cast<int64_t>(disk_offset) + offset;
  return true;
}

size_t D88Image::ReadOn(unsigned char* dest, size_t len) {
  size_t done = 0;
  while (done < len) {
    const int64_t window_end = window_start + static_cast<int64_t>(window_length);
    if (position >= window_start && position < window_end) {
      const size_t from = static_cast<size_t>(position - window_start);
      const size_t count = std::min(len - done, window_length - from);
      memcpy(dest + done, window + from, count);
      done += count;
      position += static_cast<int64_t>(count);
      continue;
    }
    window_start = position;
    window_length = 0;
    clearerr(file);
    if (!SeekTo(file, position)) break;
    window_length = fread(window, 1, sizeof window, file);
    if (window_length == 0) break;
  }
  return done;
}

bool D88Image::ReadSectorHeader(unsigned char* header) {
  return ReadOn(header, kSectorHeaderSize) == static_cast<size_t>(kSectorHeaderSize);
}

void D88Image::SkipSectorData(const unsigned char* header) { position += ReadLe16(header + 14); }

int D88Image::ReadSector(int track, int c, int h, int r, int n, unsigned char* dest, int max_len) {
  if (!SeekToTrack(track)) return 0;
  unsigned char header[kSectorHeaderSize];
  // Every record moves at least 16 bytes forward, so the search ends at the end of the file even
  // when the headers disagree on the sector count; the counter is wide enough never to wrap.
  for (int64_t i = 0;; ++i) {
    if (!ReadSectorHeader(header)) return 0;
    const int sector_count = ReadLe16(header + 4);
    if (sector_count == 0) return 0;
    if (header[0] == c && header[1] == h && header[2] == r && header[3] == n) {
      const int data_size = ReadLe16(header + 14);
      const int len = data_size < max_len ? data_size : max_len;
      if (len <= 0) return 0;
      // A file that ends inside the data yields fewer bytes, and the count says so.
      return static_cast<int>(ReadOn(dest, static_cast<size_t>(len)));
    }
    SkipSectorData(header);
    if (i == sector_count - 1) return 0;
  }
}

int D88Image::ReadSectors(int track, int c, int h, int r, int n, unsigned char* dest,
                          int total_len) {
  // From size code 24 on a sector is larger than any int length: the request is a single piece.
  const int piece = (n >= 0 && n <= 23) ? (128 << n) : INT_MAX;
  int done = 0;
  while (done < total_len) {
    const int chunk = total_len - done < piece ? total_len - done : piece;
    if (ReadSector(track, c, h, r, n, dest + done, chunk) < chunk) return done;
    done += chunk;
    // The sector was found, so track, c, h and r are small and the steps cannot overflow.
    if (r == last_sector) {
      ++track;
      if (h == 0) {
        h = 1;
      } else {
        h = 0;
        ++c;
      }
      r = first_sector;
    } else {
      ++r;
    }
  }
  return done;
}

int D88Image::ReadTrackIds(int track, unsigned char* dest, int max_len) {
  if (!SeekToTrack(track)) return 0;
  unsigned char header[kSectorHeaderSize];
  int result = 0;
  // Only whole records are written, so a length that is not a multiple of 4 cannot overrun.
  // Unlike ReadSector, a sector count of 0 does not end the listing.
  for (int i = 0; 4 * static_cast<int64_t>(i) + 4 <= max_len; ++i) {
    if (!ReadSectorHeader(header)) break;
    memcpy(dest + 4 * i, header, 4);
    result += 4;
    SkipSectorData(header);
    if (i == ReadLe16(header + 4) - 1) break;
  }
  return result;
}
