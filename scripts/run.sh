#!/usr/bin/env bash
# Builds what is missing of zek-host and the settings plugin, then runs zek-host on its embedded
# default set-up: install directory ./zek-data (created), a free port on 127.0.0.1, the plugin
# built beside it. It prints the URL, the user and the token; Ctrl-C stops it. Extra arguments
# go to zek-host (zek-host --help).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
if [ ! -f build/build.ninja ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build --target zek-host -j "$(nproc)" >&2
exec build/host/zek_host/zek-host --install-dir ./zek-data "$@"
