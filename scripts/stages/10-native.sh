#!/usr/bin/env bash
# Native build with warnings as errors, then every unit test.
set -euo pipefail
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBALO_WERROR=ON >/dev/null
cmake --build build/native
ctest --test-dir build/native --output-on-failure -j2
