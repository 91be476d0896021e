// The D88 disk catalogue, disk headers and sector search.
#include "diskimage/d88_image.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace diskimage {
namespace {

constexpr int kDiskSizeField = 0x1C;
constexpr int kWriteProtectField = 0x1A;
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

// The length of `file`, which stands at offset 0 and stays there; 0 when it cannot be told.
int64_t FileLength(FILE* file) {
#ifdef _WIN32
  const bool at_end = _fseeki64(file, 0, SEEK_END) == 0;
  const int64_t length = at_end ? _ftelli64(file) : 0;
#else
  const bool at_end = fseeko(file, 0, SEEK_END) == 0;
  const int64_t length = at_end ? static_cast<int64_t>(ftello(file)) : 0;
#endif
  SeekTo(file, 0);
  return length > 0 ? length : 0;
}

}  // namespace

const char* MediaName(int media_type) {
  switch (media_type) {
    case 0x00:
      return "2D";
    case 0x10:
      return "2DD";
    case 0x20:
      return "2HD";
    case 0x30:
      return "1D";
    case 0x40:
      return "1DD";
    default:
      return "other";
  }
}

int ReadLe16(const unsigned char* bytes) { return bytes[0] | (bytes[1] << 8); }

const unsigned char* SectorSource::ViewSectorBytes(const SectorHeader&, int, int) {
  return nullptr;
}

int32_t ReadLe32(const unsigned char* bytes) {
  const uint32_t value = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                         (static_cast<uint32_t>(bytes[2]) << 16) |
                         (static_cast<uint32_t>(bytes[3]) << 24);
  return static_cast<int32_t>(value);  // two's complement, defined since C++20 and on every target
}

void StoreLe16(unsigned char* dest, int value) {
  dest[0] = static_cast<unsigned char>(value);
  dest[1] = static_cast<unsigned char>(value >> 8);
}

void StoreLe32(unsigned char* dest, uint32_t value) {
  for (int i = 0; i < 4; ++i) dest[i] = static_cast<unsigned char>(value >> (8 * i));
}

D88Image::D88Image()
    : file(nullptr),
      memory(nullptr),
      memory_size(0),
      image_size(0),
      disk_count(0),
      disks_beyond_catalogue(false),
      first_sector(1),
      last_sector(16),
      disk_offsets(),
      disk_size(0),
      disk_offset(-1),
      track_offsets(),
      media_type(-1),
      write_protect(0),
      disk_name(),
      headers_read(0),
      current(0),
      index_chn{-1, -1, -1},
      position(0),
      window_start(0),
      window_length(0) {  // node, index and window bytes are read only after they are written
  for (Walk& walk : walks) {
    walk.track = -1;
    walk.start = 0;
    walk.length = 0;
    walk.resume_at = -1;
    walk.heap_nodes = nullptr;
    walk.heap_capacity = 0;
  }
}

D88Image::~D88Image() {
  Close();
  for (Walk& walk : walks) free(walk.heap_nodes);
}

void D88Image::Close() {
  if (file != nullptr) fclose(file);
  file = nullptr;
  memory = nullptr;
  memory_size = 0;
  image_size = 0;
  disk_count = 0;
  disks_beyond_catalogue = false;
  media_type = -1;
  headers_read = 0;
  window_length = 0;
  ForgetWalks();
}

bool D88Image::Open(const char* path) {
  Close();
  if (path == nullptr) return true;
  file = fopen(path, "rb");
  if (file == nullptr) return false;
  setvbuf(file, nullptr, _IONBF, 0);  // the window is the only buffer
  // A pipe or a terminal cannot be read at the offsets the catalogue needs: it is refused rather
  // than read as an image with nothing in it (OpenMemory takes such input once read).
  if (!SeekTo(file, 0)) {
    const int error = errno != 0 ? errno : ESPIPE;
    Close();
    errno = error;
    return false;
  }
  image_size = FileLength(file);
  if (!Catalogue()) {
    // fopen succeeds on a directory on some systems: a file that cannot be read at all is a
    // failure to open, not an empty image.
    const int error = errno;
    Close();
    errno = error;
    return false;
  }
  return true;
}

bool D88Image::OpenMemory(const unsigned char* data, size_t size) {
  static const unsigned char kNoBytes[1] = {};
  Close();
  memory = data != nullptr ? data : kNoBytes;
  memory_size = data != nullptr ? size : 0;
  image_size = static_cast<int64_t>(memory_size);
  return Catalogue();
}

bool D88Image::Catalogue() {
  unsigned char header[kDiskHeaderSize];
  // Kept wider than a stored offset: a disk that would begin at 2 GiB or beyond ends the
  // catalogue instead of wrapping round to an earlier offset.
  int64_t offset = 0;
  for (;;) {
    position = offset;
    if (ReadOn(header, sizeof header) < sizeof header) {
      return !(disk_count == 0 && file != nullptr && ferror(file));
    }
    if (disk_count == kMaxDisks) {
      // A disk of size 0 repeats itself up to the limit; that is not a further disk.
      disks_beyond_catalogue = offset != disk_offsets[kMaxDisks - 1];
      return true;
    }
    disk_offsets[disk_count++] = static_cast<int32_t>(offset);
    // The size field is taken as unsigned: a size of 2^31 or more moves the next disk beyond
    // the reach of a stored offset rather than backwards.
    offset += static_cast<uint32_t>(ReadLe32(header + kDiskSizeField));
    if (offset > INT32_MAX) return true;
  }
}

bool D88Image::SelectDisk(int index) {
  if (file == nullptr && memory == nullptr) return false;
  disk_offset = -1;
  media_type = -1;
  write_protect = 0;
  disk_size = 0;
  disk_name[0] = '\0';
  ForgetWalks();
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
  write_protect = header[kWriteProtectField];
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

bool D88Image::HasTrack(int track) const {
  if ((file == nullptr && memory == nullptr) || disk_offset < 0 || track < 0 ||
      track >= kTrackCount) {
    return false;
  }
  // An entry of 2^31 or more reads as negative and would point before the disk: it counts as an
  // absent track, like 0. An entry past the disk's size (taken unsigned) is not part of the disk.
  const int32_t offset = track_offsets[track];
  return offset > 0 && static_cast<uint32_t>(offset) <= static_cast<uint32_t>(disk_size);
}

int32_t D88Image::TrackTableEntry(int track) const {
  return disk_offset >= 0 && track >= 0 && track < kTrackCount ? track_offsets[track] : 0;
}

bool D88Image::TrackBeyondImage(int track) const {
  if (!HasTrack(track)) return false;
  // A track that begins where the image ends is an empty one stored last, unless the disk claims
  // bytes after it.
  const int64_t start = int64_t{disk_offset} + track_offsets[track];
  return start > image_size || (start == image_size && start < DiskEnd());
}

int64_t D88Image::DiskEnd() const {
  return static_cast<int64_t>(disk_offset) + static_cast<uint32_t>(disk_size);
}

bool D88Image::SeekToTrack(int track) {
  if (!HasTrack(track)) return false;
  position = static_cast<int64_t>(disk_offset) + track_offsets[track];
  return true;
}

bool D88Image::FillWindowAt(int64_t offset) {
  window_start = offset;
  window_length = 0;
  clearerr(file);
  if (!SeekTo(file, offset)) return false;
  window_length = fread(window, 1, sizeof window, file);
  return window_length > 0;
}

size_t D88Image::ReadOn(unsigned char* dest, size_t len) {
  if (file == nullptr) {
    if (position < 0 || static_cast<uint64_t>(position) >= memory_size) return 0;
    const size_t count = std::min(len, memory_size - static_cast<size_t>(position));
    memcpy(dest, memory + position, count);
    position += static_cast<int64_t>(count);
    return count;
  }
  size_t done = 0;
  while (done < len) {
    const int64_t window_end = window_start + static_cast<int64_t>(window_length);
    if (position >= window_start && position < window_end) {
      const size_t from = static_cast<size_t>(position - window_start);
      const size_t count = std::min(len - done, window_length - from);
      memcpy(dest + done, window + from, count);
      done += count;
      position += static_cast<int64_t>(count);
    } else if (!FillWindowAt(position)) {
      break;
    }
  }
  return done;
}

const unsigned char* D88Image::HeaderAt() {
  // A header at or past the end of the selected disk belongs to the next disk or to none.
  if (position >= DiskEnd()) return nullptr;
  ++headers_read;
  if (file == nullptr) {
    if (position < 0 || static_cast<uint64_t>(position) + kSectorHeaderSize > memory_size) {
      return nullptr;
    }
    return memory + position;
  }
  if (position < window_start ||
      position + kSectorHeaderSize > window_start + static_cast<int64_t>(window_length)) {
    if (!FillWindowAt(position) || window_length < static_cast<size_t>(kSectorHeaderSize)) {
      return nullptr;
    }
  }
  return window + (position - window_start);
}

int D88Image::NextWalkNode(int64_t index, WalkNode& node) {
  const unsigned char* header = HeaderAt();
  if (header == nullptr) return 0;
  node.sector_count = static_cast<uint16_t>(ReadLe16(header + 4));
  if (node.sector_count == 0) return 0;
  memcpy(node.id, header, sizeof node.id);
  node.data_size = static_cast<uint16_t>(ReadLe16(header + 14));
  position += kSectorHeaderSize + node.data_size;
  return WalkStep(index, node);
}

int D88Image::WalkStep(int64_t index, const WalkNode& node) {
  // Headers that disagree on the sector count can carry the walk past the track's last sector;
  // every node moves it at least 16 bytes forward, so it ends at the end of the disk.
  return index == node.sector_count - 1 ? 2 : 1;
}

void D88Image::ForgetWalks() {
  for (Walk& walk : walks) {
    walk.track = -1;
    walk.length = 0;
    walk.resume_at = -1;
  }
  index_chn[0] = -1;
}

bool D88Image::Walk::Append(const WalkNode& node) {
  if (length < kInlineNodes) {
    inline_nodes[length++] = node;
    return true;
  }
  const int64_t heap_index = length - kInlineNodes;
  if (heap_index == heap_capacity) {
    const int64_t capacity = heap_capacity == 0 ? 4096 : 2 * heap_capacity;
    if (static_cast<uint64_t>(capacity) > SIZE_MAX / sizeof(WalkNode)) return false;
    void* grown = realloc(heap_nodes, static_cast<size_t>(capacity) * sizeof(WalkNode));
    if (grown == nullptr) return false;
    heap_nodes = static_cast<WalkNode*>(grown);
    heap_capacity = capacity;
  }
  heap_nodes[heap_index] = node;
  ++length;
  return true;
}

void D88Image::WalkTrack(int track) {
  const Walk& before = walks[current];
  current = 1 - current;
  Walk& walk = walks[current];
  walk.track = track;
  walk.start = position;
  walk.length = 0;
  walk.resume_at = -1;
  index_chn[0] = -1;
  // Walks of different tracks that meet a common header go on through the same headers, so the
  // previous walk's nodes from there on are this walk's too, up to where this walk's own
  // position in the track says it ends.
  int64_t before_index = 0;
  int64_t before_at = before.start;
  WalkNode node;
  for (int64_t i = 0;; ++i) {
    while (before_index < before.length && before_at < position) {
      before_at += kSectorHeaderSize + before[before_index++].data_size;
    }
    int step;
    if (before_index < before.length && before_at == position) {
      node = before[before_index];
      position += kSectorHeaderSize + node.data_size;
      step = WalkStep(i, node);
    } else {
      step = NextWalkNode(i, node);
      if (step == 0) return;
    }
    if (!walk.Append(node)) {
      walk.resume_at = position - kSectorHeaderSize - node.data_size;  // searches read on there
      return;
    }
    if (step == 2) return;
  }
}

void D88Image::IndexWalk(int c, int h, int n) {
  const Walk& walk = walks[current];
  std::fill(std::begin(index_offsets), std::end(index_offsets), int64_t{-1});
  index_chn[0] = c;
  index_chn[1] = h;
  index_chn[2] = n;
  int64_t data_at = walk.start + kSectorHeaderSize;
  for (int64_t i = 0; i < walk.length; ++i) {
    const WalkNode& node = walk[i];
    if (node.id[0] == c && node.id[1] == h && node.id[3] == n && index_offsets[node.id[2]] < 0) {
      index_offsets[node.id[2]] = data_at;
      index_sizes[node.id[2]] = node.data_size;
    }
    data_at += kSectorHeaderSize + node.data_size;
  }
}

template <typename Take>
int D88Image::FindSector(int track, int c, int h, int r, int n, Take take) {
  // Header bytes are 0..255: an ID outside that range is on no track, and needs no walk.
  if (c < 0 || c > 255 || h < 0 || h > 255 || r < 0 || r > 255 || n < 0 || n > 255) return 0;
  if (!SeekToTrack(track)) return 0;
  // A track's headers are walked once, and its sectors of one cylinder, head and size code are
  // indexed by sector number, so that searching one track again costs no walk.
  if (walks[current].track != track) WalkTrack(track);
  if (index_chn[0] != c || index_chn[1] != h || index_chn[2] != n) IndexWalk(c, h, n);
  if (index_offsets[r] >= 0) return take(index_offsets[r], index_sizes[r]);
  const Walk& walk = walks[current];
  if (walk.resume_at < 0) return 0;
  position = walk.resume_at;
  WalkNode node;
  for (int64_t i = walk.length;; ++i) {
    const int step = NextWalkNode(i, node);
    if (step == 0) return 0;
    if (node.id[0] == c && node.id[1] == h && node.id[2] == r && node.id[3] == n) {
      return take(position - node.data_size, node.data_size);
    }
    if (step == 2) return 0;
  }
}

template <typename Read>
int D88Image::StepSectors(int track, int c, int h, int r, int n, int total_len, Read read) {
  // From size code 24 on a sector is larger than any int length: the request is a single piece.
  const int piece = (n >= 0 && n <= 23) ? (128 << n) : INT_MAX;
  int done = 0;
  while (done < total_len) {
    const int chunk = total_len - done < piece ? total_len - done : piece;
    if (read(track, c, h, r, done, chunk) < chunk) return done;
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

int D88Image::ReadSector(int track, int c, int h, int r, int n, unsigned char* dest, int max_len) {
  return FindSector(track, c, h, r, n, [&](int64_t data_at, int data_size) {
    position = data_at;
    const int len = data_size < max_len ? data_size : max_len;
    // A file that ends inside the data yields fewer bytes, and the count says so.
    return len <= 0 ? 0 : static_cast<int>(ReadOn(dest, static_cast<size_t>(len)));
  });
}

int D88Image::ReadSectors(int track, int c, int h, int r, int n, unsigned char* dest,
                          int total_len) {
  return StepSectors(track, c, h, r, n, total_len,
                     [&](int at_track, int at_c, int at_h, int at_r, int done, int chunk) {
                       return ReadSector(at_track, at_c, at_h, at_r, n, dest + done, chunk);
                     });
}

int D88Image::ViewSectors(int track, int c, int h, int r, int n, int total_len, ImageSpan* spans,
                          int max_spans, int& span_count) {
  span_count = 0;
  if (file != nullptr) return -1;
  const auto view = [&](int at_track, int at_c, int at_h, int at_r, int, int chunk) {
    if (span_count >= max_spans) return 0;
    return FindSector(at_track, at_c, at_h, at_r, n, [&](int64_t data_at, int data_size) {
      // As ReadSector's copy: capped at the request and at the end of the image.
      position = data_at;
      if (data_at < 0 || static_cast<uint64_t>(data_at) >= memory_size) return 0;
      int len = data_size < chunk ? data_size : chunk;
      if (static_cast<uint64_t>(len) > memory_size - static_cast<uint64_t>(data_at)) {
        len = static_cast<int>(memory_size - static_cast<uint64_t>(data_at));
      }
      if (len <= 0) return 0;
      position += len;
      spans[span_count++] = {memory + data_at, len};
      return len;
    });
  };
  return StepSectors(track, c, h, r, n, total_len, view);
}

template <typename Take>
int D88Image::ListTrack(int track, int64_t max_count, Take take) {
  if (!SeekToTrack(track)) return 0;
  // Unlike a sector search, a sector count of 0 does not end the listing.
  int count = 0;
  while (count < max_count) {
    const unsigned char* header = HeaderAt();
    if (header == nullptr) break;
    const int data_size = ReadLe16(header + 14);
    const int sector_count = ReadLe16(header + 4);
    position += kSectorHeaderSize;
    take(header, count);
    position += data_size;
    if (count++ == sector_count - 1) break;
  }
  return count;
}

int D88Image::ReadTrackIds(int track, unsigned char* dest, int max_len) {
  // Only whole records are written, so a length that is not a multiple of 4 cannot overrun.
  const int64_t records = max_len < 0 ? 0 : max_len / 4;
  return 4 * ListTrack(track, records, [&](const unsigned char* header, int i) {
           memcpy(dest + 4 * i, header, 4);
         });
}

int D88Image::ReadTrackSectors(int track, SectorHeader* dest, int max_count) {
  return ListTrack(track, max_count, [&](const unsigned char* header, int i) {
    SectorHeader& sector = dest[i];
    sector.c = header[0];
    sector.h = header[1];
    sector.r = header[2];
    sector.n = header[3];
    sector.sector_count = ReadLe16(header + 4);
    sector.density = header[6];
    sector.deleted = header[7];
    sector.status = header[8];
    sector.data_size = ReadLe16(header + 14);
    sector.data_offset = position;
    sector.repeated_byte = false;
  });
}

int D88Image::ReadSectorData(const SectorHeader& sector, unsigned char* dest, int max_len) {
  if ((file == nullptr && memory == nullptr) || disk_offset < 0) return 0;
  int64_t len = std::min<int64_t>(sector.data_size, max_len);
  len = std::min(len, DiskEnd() - sector.data_offset);
  if (len <= 0 || sector.data_offset < disk_offset) return 0;
  position = sector.data_offset;
  return static_cast<int>(ReadOn(dest, static_cast<size_t>(len)));
}

const unsigned char* D88Image::ViewSectorBytes(const SectorHeader& sector, int from, int length) {
  if (memory == nullptr || disk_offset < 0 || from < 0 || length < 0 ||
      from + int64_t{length} > sector.data_size || sector.data_offset < disk_offset ||
      sector.data_offset + from + length > std::min<int64_t>(DiskEnd(), memory_size)) {
    return nullptr;
  }
  return memory + sector.data_offset + from;
}

int D88Image::ReadSectorBytes(const SectorHeader& sector, int from, unsigned char* dest,
                              int max_len) {
  if (from < 0 || from >= sector.data_size) return 0;
  SectorHeader rest = sector;
  rest.data_offset += from;
  rest.data_size -= from;
  return ReadSectorData(rest, dest, max_len);
}

}  // namespace diskimage
