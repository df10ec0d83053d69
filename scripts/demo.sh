#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: install what is missing, build, make the demo NTFS
# volume, map it as drive D and search it. Installing packages and mounting the image need root:
# run it as root, or as a user who may use sudo (the script then restarts itself through sudo).
set -euo pipefail
if [ "$(id -u)" != 0 ]; then
  command -v sudo >/dev/null || { echo "demo: run this as root (installing packages and mounting need it)" >&2; exit 1; }
  exec sudo bash "$0" "$@"
fi
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native --target nimbalo
bash tools/make_demo_volume.sh build/volumes/demo.img
export NIMBALO_VOLUME_D="$root/build/volumes/demo.img"
nimbalo=build/native/nimbalo
echo "\$ nimbalo drives" >&2
"$nimbalo" drives
echo "\$ nimbalo search \"${1:-résumé}\" D" >&2
"$nimbalo" search "${1:-résumé}" D
echo "\$ nimbalo search \"ext:h size:>100kb\" D" >&2
"$nimbalo" search "ext:h size:>100kb" D
