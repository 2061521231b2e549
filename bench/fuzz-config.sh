#!/usr/bin/env bash
# Fuzzes the configuration loader for SECONDS seconds (default 60) with libFuzzer under
# AddressSanitizer and UndefinedBehaviorSanitizer. Compiles with clang++ directly, so the
# g++ build is not involved. Seeds from tests/config/corpus; keeps what it finds in
# $FUZZ_DIR/corpus (default build-fuzz/ in the source tree). Exit status 0 = ran clean.
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${FUZZ_DIR:-$root/build-fuzz}"
cxx="${CLANGXX:-clang++}"
mkdir -p "$out/corpus"

sources=("$root"/config/*.cpp "$root"/core/*.cpp "$root"/lang/*.cpp "$root"/schedule/ScheduleItem.cpp "$root"/tests/fuzz/config_fuzz.cpp)
"$cxx" -std=c++20 -O1 -g -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$root" "${sources[@]}" -o "$out/config_fuzz"

cp -n "$root"/tests/config/corpus/*.cfg "$out/corpus/" 2>/dev/null || true

# -rss_limit_mb and -malloc_limit_mb turn unbounded memory into a reported failure.
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
ASAN_OPTIONS=detect_leaks=1 \
"$out/config_fuzz" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=1024 -malloc_limit_mb=512 \
    -timeout=10 -print_final_stats=1 -artifact_prefix="$out/" "$out/corpus"
