#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, and nothing when it
# is all there already. Non-interactive; run as root or with sudo available.
set -euo pipefail

packages=(
  make cmake ninja-build g++          # host build
  clang lld                           # IA32 images: clang++ and lld-link
  googletest libgtest-dev             # unit tests
  qemu-system-x86 ovmf-ia32           # boots on OVMF IA32
)

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "install-deps: dpkg-query not found; this script supports Debian 12" >&2
  exit 1
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all dependencies present"
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    as_root=(sudo -n)
  else
    echo "install-deps: missing ${missing[*]}; run as root to install them" >&2
    exit 1
  fi
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update </dev/null
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
  "${missing[@]}" </dev/null
