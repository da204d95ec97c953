#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the demo and the run-time
# tools need. Only what is missing is installed; safe to run again.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config ccache
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # libraries
  libxml2-dev libicu-dev libcurl4-openssl-dev libssl-dev liblzma-dev zlib1g-dev liblz4-dev
  nlohmann-json3-dev libsimdjson-dev libplist-dev libcpp-httplib-dev
  # tools the helper runs
  libarchive-tools 7zip ruby pkexec xdg-utils
  # tools the tests and the demo use to build fixtures and compare against
  genisoimage xorriso curl openssl attr util-linux procps
  # bzip2 chunks of test disk images
  libbz2-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup-deps: all ${#packages[@]} packages present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup-deps: missing packages: ${missing[*]}" >&2
  echo "setup-deps: run this script as root (or install them with apt-get)" >&2
  exit 1
fi

echo "setup-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
