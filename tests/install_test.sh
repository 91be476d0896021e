#!/usr/bin/env bash
# Installs the build tree into a scratch prefix, builds the consumer project against it and runs
# it on the bundled two-disk sample; checks the installed programs and manual pages too.
#   install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix/usr" >/dev/null
for f in bin/dskcut bin/dskpull share/man/man1/dskcut.1 share/man/man1/dskpull.1 \
         include/diskimage/d88_image.h lib/cmake/diskimage/diskimageConfig.cmake; do
  [ -e "$prefix/usr/$f" ] || { echo "not installed: $f"; exit 1; }
done
cmake -S "$source/tests/install_consumer" -B "$prefix/consumer" \
  -DCMAKE_PREFIX_PATH="$prefix/usr" >/dev/null
cmake --build "$prefix/consumer" >/dev/null
count=$("$prefix/consumer/consumer" "$source/examples/sample-dskcut.d88")
[ "$count" = 2 ] || { echo "consumer counted $count disks, expected 2"; exit 1; }
echo "installed tree and consumer: ok"
