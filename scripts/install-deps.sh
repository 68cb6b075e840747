#!/usr/bin/env bash
# Installs the Debian packages the project needs to build, test, fuzz and benchmark.
# Idempotent: only packages that are missing are installed.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev ccache pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libode-dev nlohmann-json3-dev libpng-dev zlib1g-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${missing[@]}"
