#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine.
# Idempotent: when every package and the locale are already present it only
# checks and returns within a second or two. Must run as root when something
# is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  libz-mingw-w64-dev zlib1g-dev
  googletest
  clang libclang-rt-14-dev llvm
  wine wine32:i386 wine64
  xvfb x11-utils imagemagick
  locales fonts-wqy-microhei
  nsis
  python3 sqlite3
  file
  osslsigncode openssl
)

missing=()
need_i386=0
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
    [[ $p == *:i386 ]] && need_i386=1
  fi
done

if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "setup-machine: missing packages (${missing[*]}); run this script as root" >&2
    exit 1
  fi
  if ((need_i386)) && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  echo "setup-machine: installing ${missing[*]}"
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The tests run with LANG=zh_CN.UTF-8 so that Wine's ANSI code page is 936,
# as on a Chinese Windows.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "setup-machine: locale zh_CN.UTF-8 missing; run this script as root" >&2
    exit 1
  fi
  sed -i 's/^# *\(zh_CN\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
fi

# The MinGW compilers must use the posix thread model (std::thread, std::mutex).
for t in i686 x86_64; do
  # Read whole before matching: grep -q stops reading at the match, and the
  # compiler's SIGPIPE would then fail the pipeline (pipefail).
  version=$("$t-w64-mingw32-g++-posix" -v 2>&1 || true)
  if [[ $version != *'Thread model: posix'* ]]; then
    echo "setup-machine: $t-w64-mingw32-g++-posix missing or not posix" >&2
    exit 1
  fi
done
echo "setup-machine: ok"
