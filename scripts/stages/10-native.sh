#!/usr/bin/env bash
# Native build with warnings as errors, then every unit test.
set -euo pipefail
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBALO_WERROR=ON >/dev/null
cmake --build build/native
# The real-volume tests compare against this image; make it (or reuse it) before they start.
bash tools/make_demo_volume.sh build/volumes/demo.img
ctest --test-dir build/native --output-on-failure -j2
