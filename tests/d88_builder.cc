// The test-image builder.
#include "tests/d88_builder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

constexpr size_t kHeaderSize = 0x2B0;

void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutPadded(uint8_t* p, const std::string& text, size_t width) {
  memset(p, ' ', width);
  memcpy(p, text.data(), std::min(text.size(), width));
}

}  // namespace

DiskBuilder& DiskBuilder::Name(const std::string& name) {
  name_ = name.substr(0, 17);
  return *this;
}

DiskBuilder& DiskBuilder::Media(uint8_t media) {
  media_ = media;
  return *this;
}

DiskBuilder& DiskBuilder::WriteProtect(uint8_t flag) {
  write_protect_ = flag;
  return *this;
}

DiskBuilder& DiskBuilder::AddSector(int track, const SectorRecord& sector) {
  tracks_[track].push_back(sector);
  return *this;
}

DiskBuilder& DiskBuilder::ReplaceTrack(int track, const std::vector<SectorRecord>& sectors) {
  tracks_[track] = sectors;
  return *this;
}

DiskBuilder& DiskBuilder::EmptyTrack(int track) {
  tracks_[track];
  return *this;
}

DiskBuilder& DiskBuilder::TrackOffset(int track, uint32_t offset) {
  track_offsets_[track] = offset;
  return *this;
}

DiskBuilder& DiskBuilder::DiskSize(uint32_t size) {
  disk_size_ = size;
  return *this;
}

Bytes DiskBuilder::Build() const {
  Bytes disk(kHeaderSize, 0);
  memcpy(disk.data(), name_.data(), name_.size());
  disk[0x1A] = write_protect_;
  disk[0x1B] = media_;
  for (const auto& [track, sectors] : tracks_) {
    if (track >= 0 && track < 164) PutLe32(&disk[0x20 + 4 * track], disk.size());
    for (const SectorRecord& sector : sectors) {
      uint8_t header[16] = {sector.c, sector.h, sector.r, sector.n};
      PutLe16(header + 4, sector.sector_count.value_or(static_cast<uint16_t>(sectors.size())));
      header[6] = sector.density;
      header[7] = sector.deleted;
      header[8] = sector.status;
      PutLe16(header + 14, sector.data_size.value_or(static_cast<uint16_t>(sector.data.size())));
      disk.insert(disk.end(), header, header + 16);
      disk.insert(disk.end(), sector.data.begin(), sector.data.end());
    }
  }
  for (const auto& [track, offset] : track_offsets_) PutLe32(&disk[0x20 + 4 * track], offset);
  PutLe32(&disk[0x1C], disk_size_.value_or(static_cast<uint32_t>(disk.size())));
  return disk;
}

namespace {

// A sector count that never equals i + 1 for a header met as the i-th of a walk that started at
// most 32000 headers before it (`index` counts from the stretch's start).
uint16_t EndlessCount(size_t index) { return static_cast<uint16_t>((index + 32768) % 65535 + 1); }

}  // namespace

Bytes LongWalkDisk(int first_track, int sectors, int size_code, size_t stretch_headers,
                   const std::vector<SectorRecord>& directory) {
  DiskBuilder disk;
  uint32_t stretch_at = kHeaderSize;
  for (const SectorRecord& sector : directory) {
    disk.AddSector(1, sector);
    stretch_at += static_cast<uint32_t>(16 + sector.data.size());
  }
  size_t index = 0;
  for (; index < stretch_headers; ++index) {
    SectorRecord empty;
    empty.c = empty.h = empty.r = empty.n = 0xFF;
    empty.sector_count = EndlessCount(index);
    disk.AddSector(163, empty);
  }
  for (int track = first_track; track < 80; ++track) {
    disk.TrackOffset(track, static_cast<uint32_t>(stretch_at + 16 * (track - first_track)));
    for (int r = 1; r <= sectors; ++r) {
      SectorRecord wanted;
      wanted.c = static_cast<uint8_t>(track / 2);
      wanted.h = static_cast<uint8_t>(track % 2);
      wanted.r = static_cast<uint8_t>(r);
      wanted.n = static_cast<uint8_t>(size_code);
      wanted.data.assign(size_t{128} << size_code, static_cast<uint8_t>(track));
      wanted.sector_count = EndlessCount(index++);
      disk.AddSector(163, wanted);
    }
  }
  return disk.Name("LONG WALK").Build();
}

Bytes LongWalkDisks(int first_track, int sectors, int size_code, size_t stretch_headers,
                    const std::vector<SectorRecord>& directory) {
  constexpr int kJumpHeaders = 8;
  constexpr uint32_t kJumpDiskSize = kHeaderSize + 16 * kJumpHeaders;
  const size_t stretch_start = 63 * kJumpDiskSize + kHeaderSize;
  Bytes image;
  for (int d = 0; d < 63; ++d) {
    DiskBuilder disk;
    for (int j = 0; j < kJumpHeaders; ++j) {
      const size_t at = d * kJumpDiskSize + kHeaderSize + 16 * j;
      const size_t target = stretch_start + 16 * ((d * kJumpHeaders + j) % 64);
      SectorRecord jump;
      jump.c = jump.h = jump.r = jump.n = 0xFE;
      jump.sector_count = 0xFFFF;
      jump.data_size = static_cast<uint16_t>(target - at - 16);
      disk.AddSector(163, jump);
    }
    for (int track = first_track; track < 80; ++track) {
      disk.TrackOffset(track, kHeaderSize + 16 * (track % kJumpHeaders));
    }
    const Bytes built = disk.Name("JUMP " + std::to_string(d)).Build();
    image.insert(image.end(), built.begin(), built.end());
  }
  const Bytes last = LongWalkDisk(first_track, sectors, size_code, stretch_headers, directory);
  image.insert(image.end(), last.begin(), last.end());
  return image;
}

Bytes Concatenate(const std::vector<Bytes>& disks) {
  Bytes image;
  for (const Bytes& disk : disks) image.insert(image.end(), disk.begin(), disk.end());
  return image;
}

std::vector<SectorRecord> TrackSectors(int track, int r_first, int count, int size_code,
                                       const uint8_t* data) {
  std::vector<SectorRecord> sectors;
  const size_t size = size_t{128} << size_code;
  for (int i = 0; i < count; ++i) {
    SectorRecord sector;
    sector.c = static_cast<uint8_t>(track / 2);
    sector.h = static_cast<uint8_t>(track % 2);
    sector.r = static_cast<uint8_t>(r_first + i);
    sector.n = static_cast<uint8_t>(size_code);
    sector.data.assign(data + i * size, data + (i + 1) * size);
    sectors.push_back(sector);
  }
  return sectors;
}

DskcutLayout::DskcutLayout() : directory(2048, 0), track_image(kImageSize, 0) {}

int DskcutLayout::AddFile(const std::string& name, const std::string& extension, const Bytes& bytes,
                          int index) {
  if (index < 0) index = next_entry;
  next_entry = index + 1;
  const int blocks = static_cast<int>((bytes.size() + 255) / 256);
  const size_t tail = bytes.size() % 256;
  const bool half = tail > 0 && tail <= 128;
  const int start = next_block;
  if (start * size_t{256} + bytes.size() > track_image.size()) {
    throw std::out_of_range("the files do not fit on the disk");
  }
  std::copy(bytes.begin(), bytes.end(), track_image.begin() + start * 256);
  next_block += blocks;
  SetEntry(index, name, extension, static_cast<uint8_t>(start / 20),
           static_cast<uint8_t>(start % 20), static_cast<uint8_t>(blocks), half ? 0x80 : 0);
  return index;
}

void DskcutLayout::SetEntry(int index, const std::string& name, const std::string& extension,
                            uint8_t track, uint8_t block, uint8_t length, uint8_t flag) {
  uint8_t* e = Entry(index);
  PutPadded(e, name, 6);
  PutPadded(e + 6, extension, 3);
  e[9] = track;
  e[10] = block;
  e[11] = length;
  e[12] = flag;
}

Bytes DskcutLayout::Expected(int index) const {
  const uint8_t* e = &directory[16 * index];
  const size_t start = e[9] * size_t{kTrackSize} + e[10] * 256;
  const size_t size = e[11] * 256 - (e[12] == 0x80 ? 128 : 0);
  return Bytes(track_image.begin() + start, track_image.begin() + start + size);
}

DiskBuilder DskcutLayout::ToDisk(const std::string& name, int end_track) const {
  DiskBuilder disk;
  disk.Name(name).Media(0x10);
  Bytes track1(kTrackSize, 0);
  std::copy(directory.begin(), directory.end(), track1.begin());
  for (const SectorRecord& s : TrackSectors(1, 1, 5, 3, track1.data())) disk.AddSector(1, s);
  for (int track = 2; track < end_track; ++track) {
    for (const SectorRecord& s : TrackSectors(track, sector_base[track] + 1, 5, 3,
                                              &track_image[track * size_t{kTrackSize}])) {
      disk.AddSector(track, s);
    }
  }
  return disk;
}

DskpullLayout::DskpullLayout() : directory(1024, 0), track_image(kImageSize, 0) {}

int DskpullLayout::AddFile(const std::string& name, const Bytes& bytes) {
  const int index = next_entry++;
  const int sector = next_sector;
  if (sector * size_t{512} + bytes.size() > track_image.size()) {
    throw std::out_of_range("the files do not fit on the disk");
  }
  std::copy(bytes.begin(), bytes.end(), track_image.begin() + sector * 512);
  next_sector += static_cast<int>((bytes.size() + 511) / 512);
  SetEntry(index, name, static_cast<uint8_t>(4 + sector / 10),
           static_cast<uint8_t>(2 * (sector % 10)), static_cast<uint16_t>(bytes.size()));
  return index;
}

void DskpullLayout::SetEntry(int index, const std::string& name, uint8_t track, uint8_t position,
                             uint16_t size) {
  uint8_t* e = Entry(index);
  memset(e, 0, 4);
  memcpy(e, name.data(), std::min<size_t>(name.size(), 4));
  e[4] = track;
  e[5] = position;
  PutLe16(e + 6, size);
}

Bytes DskpullLayout::Expected(int index) const {
  const uint8_t* e = &directory[8 * index];
  const size_t start = (e[4] - 4) * size_t{kTrackSize} + (e[5] / 2) * 512;
  const size_t size = e[6] + 256 * e[7];
  return Bytes(track_image.begin() + start, track_image.begin() + start + size);
}

DiskBuilder DskpullLayout::ToDisk(const std::string& name, int end_track) const {
  DiskBuilder disk;
  disk.Name(name).Media(0x00);
  for (const SectorRecord& s : TrackSectors(1, 1, 4, 1, directory.data())) disk.AddSector(1, s);
  for (int track = 4; track < end_track; ++track) {
    for (const SectorRecord& s :
         TrackSectors(track, 1, 10, 2, &track_image[(track - 4) * size_t{kTrackSize}])) {
      disk.AddSector(track, s);
    }
  }
  return disk;
}

Bytes PatternBytes(size_t length, uint32_t seed) {
  Bytes bytes(length);
  uint32_t state = seed * 2654435761u + 1;
  for (uint8_t& b : bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<uint8_t>(state >> 16);
  }
  return bytes;
}
