#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it. Extra arguments go to tagor.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAGOR_BUILD_TESTS=OFF -DTAGOR_BUILD_BENCH=OFF
cmake --build build --target tagor
exec ./build/tagor "$@"
