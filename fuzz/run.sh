#!/usr/bin/env bash
# Builds a libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs it for a while from its seed
# corpus.  Any crash, hang, leak or sanitizer report makes it fail.
#
#   fuzz/run.sh TARGET SECONDS SEED_DIR...
#
# TARGET is the name of fuzz/TARGET.cpp.  The working corpus goes to
# build-fuzz/TARGET-corpus, so the seed directories stay as committed; an
# input that fails is saved as build-fuzz/TARGET-crash-* (or -leak-,
# -timeout-, -oom-).
set -euo pipefail
cd "$(dirname "$0")/.."
target=$1 seconds=$2
shift 2
mkdir -p build-fuzz "build-fuzz/$target-corpus"
# Every target is linked with the whole library.
sources=(src/autorec/*.cpp src/common/*.cpp src/converter/*.cpp)
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Iinclude -Isrc "fuzz/$target.cpp" "${sources[@]}" \
  -o "build-fuzz/$target"
log="build-fuzz/$target.log"
status=0
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "build-fuzz/$target" "build-fuzz/$target-corpus" "$@" \
  -artifact_prefix="build-fuzz/$target-" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 \
  >"$log" 2>&1 || status=$?
# The run's progress lines are many; the summary, or the report of what
# failed, is at the end.
tail -n 60 "$log"
exit "$status"
