// Lists the disks of a D88 image with their names and media types, and reads one sector of each.
#include <diskimage/d88_image.h>

#include <cstdio>

static diskimage::D88Image image;  // holds a 64 KiB read window: static, not on the stack

int main(int argc, char** argv) {
  if (argc != 2 || !image.Open(argv[1])) return 1;
  for (int i = 0; i < image.DiskCount(); ++i) {
    image.SelectDisk(i);
    unsigned char data[1024];  // track 1 (cylinder 0, head 1), sector 1, size code 3: 1024 bytes
    const int got = image.ReadSector(1, 0, 1, 1, 3, data, sizeof data);
    printf("disk %d: [%s] media 0x%02x, sector 1 of track 1: %d bytes\n", i, image.DiskName(),
           image.MediaType(), got);
  }
  return 0;
}
