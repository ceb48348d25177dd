#!/usr/bin/env bash
# Builds everything and runs every test through CTest, twice: an optimised build (with the
# benchmarks as smoke tests) and an AddressSanitizer/UBSan build. Exits non-zero on any failure.
#
# The optimised pass builds a clean clone of the committed tree in CMake Release, as a user's
# `cmake -DCMAKE_BUILD_TYPE=Release` build does, so that a file missing from a commit or a
# warning of the optimiser shows here and not on the user's machine. Both passes stop on any
# warning in our own code (ZEK_WARNINGS_AS_ERRORS). Uncommitted changes are not in the clone:
# commit first.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

jobs=$(nproc)
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# build-release/src: the clone; build-release/bin: its build. Tests run from the clone and read
# ../shared/testdata, so the clone gets a ../shared that leads to ours.
release=build-release
rm -rf "$release/src"
mkdir -p "$release"
git clone -q --no-checkout . "$release/src"
git -C "$release/src" checkout -q --detach "$(git rev-parse HEAD)"
if [ -d ../shared ]; then
  ln -sfn "$(cd ../shared && pwd)" "$release/shared"
fi
cmake -S "$release/src" -B "$release/bin" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DZEK_WARNINGS_AS_ERRORS=ON "${launcher[@]}" >/dev/null
cmake --build "$release/bin" -j "$jobs"
ctest --test-dir "$release/bin" --output-on-failure -j "$jobs"

if [ "${ZEK_SKIP_SANITIZE:-0}" != 1 ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEK_SANITIZE=ON \
        -DZEK_BUILD_BENCH=OFF -DZEK_WARNINGS_AS_ERRORS=ON "${launcher[@]}" >/dev/null
  cmake --build build-asan -j "$jobs"
  ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure -j "$jobs"
fi
