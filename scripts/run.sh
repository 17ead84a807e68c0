#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it on the simulated camera
# (press "Start Camera" to watch the simulated sky). Extra arguments are passed on.
# Without a display, run it under a virtual X server:
#   xvfb-run -a -s "-screen 0 1920x1080x24" scripts/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build --target corvalis
exec build/app/corvalis --simulator "$@"
