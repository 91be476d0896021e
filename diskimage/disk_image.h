// diskimage: a floppy-disk image in any container the library reads (D88 and its aliases, raw
// sector dumps, FDI, DIM, NFD, DCP/DCU, IMD, Virtual98 FDD, CPC DSK and Extended DSK, Teledisk
// TD0), recognised by its content, as disks whose sectors a DiskMap maps.
#ifndef DISKIMAGE_DISK_IMAGE_H_
#define DISKIMAGE_DISK_IMAGE_H_

#include <cstddef>
#include <cstdint>

#include "diskimage/containers/container_readers.h"
#include "diskimage/d88_disk.h"
#include "diskimage/d88_image.h"

namespace diskimage {

enum class ContainerKind {
  kNone,
  kD88,
  kRaw,
  kFdi,
  kDim,
  kNfd,
  kDcp,
  kImd,
  kFdd,
  kDsk,
  kEdsk,
  kTd0
};

// "d88", "raw", "fdi", "dim", "nfd", "dcp", "imd", "fdd", "dsk", "edsk", "td0"; "none" for kNone.
DISKIMAGE_API const char* ContainerName(ContainerKind kind);

// What a container cannot record of a disk, as a phrase ("sector IDs, density, deleted marks and
// read errors" for the containers that store only data, "read errors" for FDD, "density" for
// DSK), or "" for one that records it all.
DISKIMAGE_API const char* ContainerUnrecorded(ContainerKind kind);
// The same as keys, separated by spaces ("sector_ids density deleted_marks read_errors").
DISKIMAGE_API const char* ContainerUnrecordedKeys(ContainerKind kind);

// One image, open for reading. Large (a D88Image and a sector table): give it static storage or
// allocate it. Not copyable; one object serves one thread.
class DISKIMAGE_API DiskImage {
 public:
  // The largest file read whole to look for a container other than D88; no floppy's is near it.
  static constexpr int64_t kMaxContainerFileSize = int64_t{16} << 20;

  DiskImage();
  ~DiskImage();
  DiskImage(const DiskImage&) = delete;
  DiskImage& operator=(const DiskImage&) = delete;

  // Opens the file at `path` and recognises its container: a D88 header that a D88 writer makes
  // and that the file holds whole first (whatever its name field begins with), then the NFD, IMD,
  // FDD, DSK and TD0 signatures, DIM's signature, FDI's and DCP's header arithmetic, and last the
  // size of a raw dump. A D88 header whose size field says more than the file holds is weak
  // evidence: another container that accepts the bytes wins (a raw size only where its boot
  // sector's parameter block gives that geometry, or where the D88 table's entry 0 is not its first
  // track, as no writer leaves it), and with none the image is a D88 cut short if the table is a
  // writer's and a track lies in the file, else no disk image. A D88 image is read where it lies;
  // another is read whole into memory the object owns (at most kMaxContainerFileSize bytes; a TD0
  // image's sectors are expanded into kMaxTd0DataSize more). Returns false only when the file
  // cannot be opened or read (errno tells why); bytes that no container accepts open with zero
  // disks and a reason (NotADiskImage). With nullptr: closes.
  bool Open(const char* path);

  // As Open, for the `size` bytes at `data`, which the caller keeps alive and unchanged until the
  // image is closed or opened again. Returns true.
  bool OpenMemory(const unsigned char* data, size_t size);

  ContainerKind Container() const { return container; }

  // Why the image is not read, one phrase; "" when a container accepted it. Either no container
  // accepts the bytes ("not a disk image: ..."), or a recognised image cannot be read (a TD0
  // image of version 1.x, a DIM media type no document describes, an NFD header cut short).
  const char* NotRead() const { return not_read; }

  // For a container other than D88: what of the disk the image lost (a file that ends before the
  // data its header lists, a damaged record), one phrase; "" when it is whole.
  const char* Problem() const { return read.problem; }

  // The disks: a D88 image's catalogue, one for the other containers, 0 when NotRead().
  int DiskCount() const;
  // True for a D88 image with more disks than its catalogue holds.
  bool MoreDisksThanCatalogued() const;

  // Selects disk `index`; false outside 0..DiskCount()-1.
  bool SelectDisk(int index);

  // The selected disk's name ("" where the container keeps none; FDD's memo, NFD's comment),
  // its D88 media byte (for other containers the one of its shape: 00h 2D, 10h 2DD, 20h 2HD),
  // its write protection, and its size (a D88 disk's size field, or the image's size).
  const char* DiskName() const;
  int MediaType() const;
  bool WriteProtected() const;
  int64_t DiskSize() const;

  // The image's length in bytes.
  int64_t ImageSize() const { return image_size; }

  // The image's ImageSize() bytes where the object has them whole: the memory it was opened on,
  // or a file other than D88 read whole. nullptr for a file read where it lies, and when closed.
  const unsigned char* Bytes() const { return bytes; }

  // The selected disk's sectors, for DiskMap::Load; for D88, the tracks its table lists before the
  // first track and not inside another track (see D88Disk).
  SectorSource& Disk();

  // The D88 reader, holding the image when Container() is kD88 (for its header checks).
  D88Image& D88() { return d88; }
  const D88Image& D88() const { return d88; }

 private:
  // How far the bytes are a D88 image's: a header no D88 writer makes (or none), one whose size
  // field says more than the file holds, the same with a writer's table and a track in the file,
  // or a header the file holds whole.
  enum class D88Evidence { kNone, kWeak, kCutShort, kWhole };

  // Recognises the container of the `size` bytes at `bytes` (nullptr: too many to read), which
  // stay alive while it is open, given what the D88 reader made of them; `d88_reason` says why
  // they are no D88 image ("" when they have no D88 header at all).
  void Recognise(const unsigned char* bytes, size_t size, D88Evidence d88_evidence,
                 const char* d88_reason);
  // Opens the image as D88, with the first disk WeighD88 selected.
  void TakeD88();
  // Closes what the last image left: no container, no reason, no bytes owned.
  void Forget();
  // Weighs the D88 reader's first disk; `reason` says why it is no D88 disk, or what it lacks.
  D88Evidence WeighD88(char* reason, size_t reason_size);
  void ReleaseOwnedBytes();

  D88Image d88;
  D88Disk d88_disk;
  SectorTable table;
  ContainerRead read;
  ContainerKind container;
  int64_t image_size;
  const unsigned char* bytes;  // see Bytes()
  unsigned char* owned_bytes;  // a file read whole, or nullptr
  DecodedBytes decoded;        // a TD0 image's sectors, expanded
  char not_read[320];
};

}  // namespace diskimage

#endif  // DISKIMAGE_DISK_IMAGE_H_
