#!/usr/bin/env bash
# Fuzzes the reading of Config.xml with libFuzzer (clang, ASan + UBSan) for a number of
# seconds.
#   scripts/fuzz-config-xml.sh [seconds]        default 300
# The working corpus lives in build-fuzz-config-xml/corpus, seeded from
# tests/app/config_xml_regressions/; any crashing input is written into that directory,
# where the tests replay it. Not part of scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-300}"
out=build-fuzz-config-xml
regressions=tests/app/config_xml_regressions
mkdir -p "$out/corpus"

clang++ -std=c++20 -g -O1 -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -Iapp -Iimaging/include -Iplatform/include \
  tests/app/fuzz_config_xml.cpp app/config/config_store.cpp app/config/decimal_text.cpp \
  -lpugixml -o "$out/fuzz_config_xml"

"$out/fuzz_config_xml" "$out/corpus" "$regressions" \
  -max_total_time="$seconds" -max_len=16384 -rss_limit_mb=4096 -timeout=60 -report_slow_units=30 \
  -artifact_prefix="$regressions/" -print_final_stats=1
