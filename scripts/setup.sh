#!/usr/bin/env bash
# Installs the Debian packages the build needs, once. Fast when everything is there:
# dpkg is asked first and apt-get runs only for what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libyaml-dev rapidjson-dev libgtest-dev libgmock-dev libbenchmark-dev
  libcpp-httplib-dev libsqlite3-dev
  # peers measured by the benchmarks
  nlohmann-json3-dev libyaml-cpp-dev libmsgpack-cxx-dev libspdlog-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo_cmd=(sudo)
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
