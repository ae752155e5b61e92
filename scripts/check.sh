#!/usr/bin/env bash
# Installs what the build and the tests need (as root, on Debian), builds,
# and runs every test twice: in a normal build and under ASan + UBSan; then
# builds the fuzz targets with clang and replays their seed corpora.
set -euo pipefail
cd "$(dirname "$0")/.."

# libiodbc2 comes without its -dev package, which conflicts with unixodbc-dev.
# default-jdk-headless gives the JDK its default-java link, where CMake's
# FindJNI looks for jni.h; the JNI tests run its java.
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libssl-dev openssl clang libclang-rt-14-dev tshark tmux libsqlite3-dev
  unixodbc unixodbc-dev libiodbc2 python3-pyodbc default-jdk-headless)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    # tshark (the session tests' outside decoder) asks whether non-root users
    # may capture: no.
    echo "wireshark-common wireshark-common/install-setuid boolean false" | debconf-set-selections
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
  else
    echo "missing packages (run as root to install them): ${missing[*]}" >&2
    exit 1
  fi
fi

jobs=$(nproc)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

run() {  # name, extra cmake arguments...
  local dir=build/check-$1
  shift
  echo "=== $dir"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

run normal
run sanitize -DRDA_SANITIZE=ON
CC=clang CXX=clang++ run fuzz -DRDA_FUZZ=ON -DRDA_BUILD_TESTS=OFF
