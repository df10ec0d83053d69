#!/usr/bin/env bash
# Configure the one shared libFuzzer build tree (clang, ASan + UBSan) that every fuzz stage builds
# its targets in, so the library is compiled once for all of them.
set -euo pipefail
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DNIMBALO_FUZZ=ON -DNIMBALO_TESTS=OFF \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
