#!/usr/bin/env bash
# Installs the build tree (static library) and a shared build of the library into scratch
# prefixes, checks what lands there, and builds and runs the README's library example against
# each, through find_package and through pkg-config (built with plain `cc`, as a C++ file).
#   install_test.sh BUILD_DIR SOURCE_DIR CXX
set -euo pipefail
build=$1 source=$2 cxx=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
sample=$source/examples/sample-dskcut.d88
expected='disk 0: [SAMPLE DISK 1] media 0x10, sector 1 of track 1: 1024 bytes
disk 1: [SAMPLE DISK 2] media 0x10, sector 1 of track 1: 1024 bytes'
fail() { echo "install test: $*"; exit 1; }

check_example() {  # prefix, kind
  local prefix=$1 kind=$2 out
  cmake -S "$source/tests/library_example" -B "$scratch/cmake-$kind" \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$scratch/cmake-$kind" >/dev/null
  out=$(LD_LIBRARY_PATH="$prefix/lib" "$scratch/cmake-$kind/example" "$sample")
  [ "$out" = "$expected" ] || fail "$kind, find_package: got: $out"
  # shellcheck disable=SC2046
  cc -o "$scratch/pc-$kind" "$source/tests/library_example/example.cc" \
    $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs diskimage)
  out=$(LD_LIBRARY_PATH="$prefix/lib" "$scratch/pc-$kind" "$sample")
  [ "$out" = "$expected" ] || fail "$kind, pkg-config: got: $out"
}

# Static: the build tree under test.
static=$scratch/static
cmake --install "$build" --prefix "$static" >/dev/null
headers=$(cd "$static/include" && find . -type f | sort | tr '\n' ' ')
[ "$headers" = "./diskimage/container_fit.h ./diskimage/container_writer.h ./diskimage/containers/container_readers.h ./diskimage/containers/sector_table.h ./diskimage/d88_disk.h ./diskimage/d88_image.h ./diskimage/disk_check.h ./diskimage/disk_image.h ./diskimage/disk_map.h ./diskimage/file_system.h ./diskimage/game_layouts.h ./diskimage/identify.h ./diskimage/names.h ./diskimage/sector_source.h " ] ||
  fail "include/ holds other than the public headers: $headers"
for f in bin/dskcut bin/dskpull bin/dskinfo bin/dskget share/man/man1/dskcut.1.gz \
         share/man/man1/dskpull.1.gz share/man/man1/dskinfo.1.gz share/man/man1/dskget.1.gz \
         lib/libdiskimage.a lib/cmake/diskimage/diskimageConfig.cmake \
         lib/pkgconfig/diskimage.pc share/doc/dsktools/copyright; do
  [ -e "$static/$f" ] || fail "not installed: $f"
done
check_example "$static" static

# Shared: a build of its own, without the tests.
shared=$scratch/shared
cmake -S "$source" -B "$scratch/build-shared" -DBUILD_SHARED_LIBS=ON -DBUILD_TESTING=OFF \
  -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$scratch/build-shared" -j2 >/dev/null
cmake --install "$scratch/build-shared" --prefix "$shared" >/dev/null
library=$shared/lib/libdiskimage.so.1
[ -e "$library" ] || fail "no $library"
# Outputs are read whole before grep looks at them: grep -q ending a pipe early would fail it.
dynamic=$(readelf -d "$library")
grep -q 'SONAME.*\[libdiskimage\.so\.1\]' <<<"$dynamic" || fail "SONAME is not libdiskimage.so.1"
exported=$(nm -DC --defined-only "$library" | awk '$2 ~ /[TWDBRV]/' | cut -d' ' -f3- | grep -v -e '^diskimage::' -e '^vtable for diskimage::' || true)
[ -z "$exported" ] || fail "exported beside the public API: $exported"
# dskcut and dskpull load the C library alone; dskinfo also zlib and nettle (hashes), where the
# build has them. libarchive is loaded when an archive is met, never at start. The loader itself
# (ld-linux), always there, is named where thread-local storage is used.
for program in "$static"/bin/* "$shared"/bin/*; do
  needed=$(readelf -d "$program" | grep NEEDED | grep -v -e 'libc\.so' -e 'ld-linux' || true)
  case $(basename "$program") in
    dskinfo)
      needed=$(grep -v -e 'libz\.so' -e 'libnettle\.so' <<<"$needed" || true) ;;
  esac
  [ -z "$needed" ] || fail "$program loads more than it needs: $needed"
done
check_example "$shared" shared
loaded=$(LD_LIBRARY_PATH="$shared/lib" ldd "$scratch/pc-shared")
grep -q "$shared/lib/libdiskimage.so.1" <<<"$loaded" ||
  fail "the pkg-config build does not load the installed shared library: $loaded"
echo "install test: static and shared, find_package and pkg-config: ok"
