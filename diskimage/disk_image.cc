// An image in any container: recognition by content, and the selected disk's sectors.
#include "diskimage/disk_image.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diskimage/disk_check.h"

namespace diskimage {
namespace {

bool HasSignature(const unsigned char* bytes, size_t size) {
  return (size >= 14 && memcmp(bytes, "T98FDDIMAGE.R", 13) == 0) ||
         (size >= 4 && memcmp(bytes, "IMD ", 4) == 0) ||
         (size >= 6 && memcmp(bytes, "VFD1.0", 6) == 0) ||
         (size >= 8 && memcmp(bytes, "MV - CPC", 8) == 0) ||
         (size >= 8 && memcmp(bytes, "EXTENDED", 8) == 0) || IsTd0Image(bytes, size);
}

// Each container's name and what it does not record of a disk, as a phrase and as JSON keys.
struct ContainerFacts {
  ContainerKind kind;
  const char* name;
  const char* unrecorded;
  const char* unrecorded_keys;
};

constexpr const char* kDataOnly = "sector IDs, density, deleted marks and read errors";
constexpr const char* kDataOnlyKeys = "sector_ids density deleted_marks read_errors";
constexpr ContainerFacts kContainers[] = {
    {ContainerKind::kD88, "d88", "", ""},
    {ContainerKind::kRaw, "raw", kDataOnly, kDataOnlyKeys},
    {ContainerKind::kFdi, "fdi", kDataOnly, kDataOnlyKeys},
    {ContainerKind::kDim, "dim", kDataOnly, kDataOnlyKeys},
    {ContainerKind::kNfd, "nfd", "", ""},
    {ContainerKind::kDcp, "dcp", kDataOnly, kDataOnlyKeys},
    {ContainerKind::kImd, "imd", "", ""},
    {ContainerKind::kFdd, "fdd", "read errors", "read_errors"},
    // A track's recording mode is an extension most writers leave 0 (not said: taken as MFM).
    {ContainerKind::kDsk, "dsk", "density", "density"},
    {ContainerKind::kEdsk, "edsk", "density", "density"},
    {ContainerKind::kTd0, "td0", "", ""},
};

const ContainerFacts* FactsOf(ContainerKind kind) {
  for (const ContainerFacts& facts : kContainers) {
    if (facts.kind == kind) return &facts;
  }
  return nullptr;
}

}  // namespace

const char* ContainerName(ContainerKind kind) {
  const ContainerFacts* facts = FactsOf(kind);
  return facts != nullptr ? facts->name : "none";
}

const char* ContainerUnrecorded(ContainerKind kind) {
  const ContainerFacts* facts = FactsOf(kind);
  return facts != nullptr ? facts->unrecorded : "";
}

const char* ContainerUnrecordedKeys(ContainerKind kind) {
  const ContainerFacts* facts = FactsOf(kind);
  return facts != nullptr ? facts->unrecorded_keys : "";
}

DiskImage::DiskImage()
    : read(),
      container(ContainerKind::kNone),
      image_size(0),
      bytes(nullptr),
      owned_bytes(nullptr),
      not_read() {}

DiskImage::~DiskImage() { ReleaseOwnedBytes(); }

void DiskImage::ReleaseOwnedBytes() {
  free(owned_bytes);
  owned_bytes = nullptr;
  free(decoded.bytes);
  decoded = DecodedBytes{};
}

DiskImage::D88Evidence DiskImage::WeighD88(char* reason, size_t reason_size) {
  reason[0] = '\0';
  if (d88.DiskCount() == 0 || !d88.SelectDisk(0)) return D88Evidence::kNone;
  DiskCheck check;
  CheckDisk(d88, check);
  if (!check.d88) {
    snprintf(reason, reason_size, "%s", check.reason);
    return D88Evidence::kNone;
  }
  if (check.lacking_bytes == 0) return D88Evidence::kWhole;
  if (check.writer_table && check.stored_tracks > 0) return D88Evidence::kCutShort;
  snprintf(
      reason, reason_size,
      "its size field says %" PRId64 " bytes, more than the %" PRId64 " the file holds, and %s",
      d88.DiskSize(), d88.ImageSize(),
      !check.writer_table ? "its track table is no D88 writer's" : "no track lies in the file");
  return D88Evidence::kWeak;
}

void DiskImage::TakeD88() {
  container = ContainerKind::kD88;
  d88_disk.Select(d88);
}

void DiskImage::Forget() {
  container = ContainerKind::kNone;
  bytes = nullptr;
  read = ContainerRead{};
  not_read[0] = '\0';
  ReleaseOwnedBytes();
}

bool DiskImage::Open(const char* path) {
  Forget();
  if (path == nullptr) {
    image_size = 0;
    return d88.Open(nullptr);
  }
  if (!d88.Open(path)) return false;
  image_size = d88.ImageSize();
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  char reason[160];
  const D88Evidence evidence = WeighD88(reason, sizeof reason);
  // A whole D88 header is taken whatever its name field begins with: a D88 disk may be named
  // "IMD ..." or "MV - CPC", while no other container's header passes for a whole D88 one.
  if (evidence == D88Evidence::kWhole) {
    fclose(file);
    TakeD88();
    return true;
  }
  if (image_size > kMaxContainerFileSize) {
    fclose(file);
    Recognise(nullptr, 0, evidence, reason);
    return true;
  }
  owned_bytes = static_cast<unsigned char*>(malloc(image_size > 0 ? image_size : 1));
  if (owned_bytes == nullptr) {
    fclose(file);
    errno = ENOMEM;
    return false;
  }
  const bool whole = fseek(file, 0, SEEK_SET) == 0 &&
                     fread(owned_bytes, 1, static_cast<size_t>(image_size), file) ==
                         static_cast<size_t>(image_size);
  fclose(file);
  if (!whole) {
    errno = EIO;
    return false;
  }
  bytes = owned_bytes;
  Recognise(owned_bytes, static_cast<size_t>(image_size), evidence, reason);
  return true;
}

bool DiskImage::OpenMemory(const unsigned char* data, size_t size) {
  Forget();
  d88.OpenMemory(data, size);
  image_size = static_cast<int64_t>(size);
  bytes = data;
  char reason[160];
  const D88Evidence evidence = WeighD88(reason, sizeof reason);
  if (evidence == D88Evidence::kWhole) {
    TakeD88();
  } else {
    Recognise(data, size, evidence, reason);
  }
  return true;
}

void DiskImage::Recognise(const unsigned char* bytes, size_t size, D88Evidence d88_evidence,
                          const char* d88_reason) {
  if (bytes != nullptr && ReadTd0Image(bytes, size, table, read, decoded)) {
    if (read.refusal[0] != '\0') {
      snprintf(not_read, sizeof not_read, "%s", read.refusal);
    } else {
      container = ContainerKind::kTd0;
    }
    return;
  }
  struct Reader {
    ContainerKind kind;
    bool (*read)(const unsigned char*, size_t, SectorTable&, ContainerRead&);
  };
  static const Reader kReaders[] = {
      {ContainerKind::kNfd, ReadNfdImage}, {ContainerKind::kImd, ReadImdImage},
      {ContainerKind::kFdd, ReadFddImage}, {ContainerKind::kDsk, ReadDskImage},
      {ContainerKind::kDim, ReadDimImage}, {ContainerKind::kFdi, ReadFdiImage},
      {ContainerKind::kDcp, ReadDcpImage}, {ContainerKind::kRaw, ReadRawImage}};
  const bool d88_signature_free = bytes == nullptr || !HasSignature(bytes, size);
  for (const Reader& reader : kReaders) {
    if (bytes == nullptr || !reader.read(bytes, size, table, read)) continue;
    // A D88 disk cut short at a raw dump's size stays a D88 disk, unless the boot sector says
    // that size's geometry.
    if (reader.kind == ContainerKind::kRaw && d88_evidence == D88Evidence::kCutShort &&
        d88_signature_free && !RawBootSectorAgrees(bytes, size)) {
      break;
    }
    if (read.refusal[0] != '\0') {
      snprintf(not_read, sizeof not_read, "%s", read.refusal);
    } else if (reader.kind == ContainerKind::kDsk && bytes[0] == 'E') {
      container = ContainerKind::kEdsk;
    } else {
      container = reader.kind;
    }
    return;
  }
  if (d88_evidence == D88Evidence::kCutShort && d88_signature_free) {
    read = ContainerRead{};
    TakeD88();
    return;
  }
  snprintf(not_read, sizeof not_read,
           "not a disk image: %lld bytes, no container's signature or size%s%s",
           static_cast<long long>(image_size), d88_reason[0] != '\0' ? "; as D88, " : "",
           d88_reason);
}

int DiskImage::DiskCount() const {
  if (container == ContainerKind::kNone) return 0;
  return container == ContainerKind::kD88 ? d88.DiskCount() : 1;
}

bool DiskImage::MoreDisksThanCatalogued() const {
  return container == ContainerKind::kD88 && d88.MoreDisksThanCatalogued();
}

bool DiskImage::SelectDisk(int index) {
  if (container == ContainerKind::kD88) {
    if (!d88.SelectDisk(index)) return false;
    d88_disk.Select(d88);
    return true;
  }
  return index >= 0 && index < DiskCount();
}

const char* DiskImage::DiskName() const {
  return container == ContainerKind::kD88 ? d88.DiskName() : read.name;
}

int DiskImage::MediaType() const {
  return container == ContainerKind::kD88 ? d88.MediaType() : read.media;
}

bool DiskImage::WriteProtected() const {
  return container == ContainerKind::kD88 ? d88.WriteProtected() : read.write_protected;
}

int64_t DiskImage::DiskSize() const {
  return container == ContainerKind::kD88 ? d88.DiskSize() : image_size;
}

SectorSource& DiskImage::Disk() {
  if (container == ContainerKind::kD88) return d88_disk;
  return table;
}

}  // namespace diskimage
