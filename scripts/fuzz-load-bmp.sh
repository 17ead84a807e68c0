#!/usr/bin/env bash
# Fuzzes the bitmap reader with libFuzzer (clang, ASan + UBSan) for a number of seconds.
#   scripts/fuzz-load-bmp.sh [seconds]        default 300
# The working corpus lives in build-fuzz-load-bmp/corpus, seeded from
# tests/imaging/bmp_regressions/; any crashing input is written into that directory,
# where the tests replay it. Not part of scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-300}"
out=build-fuzz-load-bmp
regressions=tests/imaging/bmp_regressions
mkdir -p "$out/corpus"

# shellcheck disable=SC2046
clang++ -std=c++20 -g -O1 -fPIC -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -Iimaging/src -Iimaging/include -Iplatform/include $(pkg-config --cflags Qt6Gui) \
  tests/imaging/fuzz_load_bmp.cpp imaging/src/cdib.cpp \
  $(pkg-config --libs Qt6Gui) -o "$out/fuzz_load_bmp"

export QT_QPA_PLATFORM=offscreen
"$out/fuzz_load_bmp" "$out/corpus" "$regressions" \
  -max_total_time="$seconds" -max_len=8192 -rss_limit_mb=4096 -timeout=60 -report_slow_units=30 \
  -artifact_prefix="$regressions/crash-" -print_final_stats=1
