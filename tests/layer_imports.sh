#!/usr/bin/env bash
# Checks that dependencies run one way, by the includes of the source tree: the library includes
# nothing of the programs or their shared rooms; a room of common/ includes only the rooms its
# CMakeLists.txt says it may use; the library's code outside its file-system drivers names no
# file system that a driver's table row names.
#   layer_imports.sh SOURCE_DIR
set -euo pipefail
cd "$1"
failed=0
fail() { echo "layer imports: $*"; failed=1; }

while IFS=: read -r file include; do
  fail "$file includes $include, above the library"
done < <(grep -rHo '#include "\(common\|dsk[a-z]*\|web\)/[^"]*"' diskimage || true)

for room_dir in common/*/; do
  room=$(basename "$room_dir")
  allowed=$(sed -n "s/^# May use: //p" "$room_dir/CMakeLists.txt" | tr -d "." | tr -s ", " " ")
  [ -n "$allowed" ] || fail "common/$room/CMakeLists.txt says nothing of what it may use"
  while IFS=: read -r file include; do
    used=$(sed 's|#include "common/\([a-z_]*\)/.*|\1|' <<<"$include")
    [ "$used" = "$room" ] && continue
    grep -qw -- "$used" <<<"$allowed" || fail "$file includes $include: $room may use:$allowed"
  done < <(grep -Ho '#include "common/[^"]*"' "$room_dir"*.cc "$room_dir"*.h || true)
done

# The kinds the drivers' rows give, named anywhere else in the library.
kinds=$(grep -ho '^ *FileSystemKind::k[A-Za-z0-9]*,' diskimage/file_systems/*.cc | tr -d ', ' |
  sort -u || true)
[ -n "$kinds" ] || fail "no driver row found in diskimage/file_systems/"
for kind in $kinds; do
  while IFS= read -r place; do
    fail "$place names $kind outside its driver"
  done < <(grep -rn --include='*.cc' -- "$kind\b" diskimage | grep -v '^diskimage/file_systems/' || true)
done
exit $failed
