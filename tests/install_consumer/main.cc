// Opens the image named on the command line with the installed library and prints its disk count.
#include <cstdio>

#include "d88_image.h"

int main(int argc, char** argv) {
  D88Image image;
  if (argc != 2 || !image.Open(argv[1])) return 1;
  printf("%d\n", image.DiskCount());
  return 0;
}
