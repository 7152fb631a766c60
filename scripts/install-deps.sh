#!/usr/bin/env bash
# Installs the Debian packages vorla needs to build and test, only when something is missing.
set -euo pipefail
packages=(g++ cmake make libboost-dev libboost-regex-dev libgtest-dev libedit-dev pkg-config python3 lua5.4)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi
