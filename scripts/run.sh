#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the simulated camera.
# Until the program exists this is corvalis-decode: the simulated camera's sky
# through the driver's decode, written to out/sky.bmp (extra arguments are passed on,
# e.g. scripts/run.sh --16 --balance --gamma 60).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build --target corvalis-decode
mkdir -p out
build/tools/corvalis-decode "$@" out/sky.bmp
