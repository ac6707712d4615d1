#!/usr/bin/env bash
# Builds the codec's libFuzzer targets natively with clang (ASan + UBSan) and
# runs each for a while. Any crash, leak, timeout, sanitizer report or
# oversized allocation is a finding, and makes this script exit non-zero.
#
# usage: tools/fuzz.sh [seconds-per-target]   (default 60)
set -euo pipefail

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: $0 [seconds-per-target]" >&2
  exit 2
fi

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/native-fuzz"
targets=(fuzz_message fuzz_method_call fuzz_envelope)

mkdir -p "$build"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DKORVEX_FUZZ=ON \
  -DKORVEX_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  >"$build/configure.log" 2>&1 || { cat "$build/configure.log" >&2; exit 1; }
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" >/dev/null

# Short allocation stacks: recording 30 frames for every allocation of a deep
# recursive decode costs more than half the run time. Overridable.
export ASAN_OPTIONS="${ASAN_OPTIONS:-malloc_context_size=8}"

failed=0
for target in "${targets[@]}"; do
  name="${target#fuzz_}"
  corpus="$build/corpus/$name"     # grows from run to run
  artifacts="$build/artifacts/$name"
  log="$build/$target.log"
  mkdir -p "$corpus" "$artifacts"
  rm -f "$artifacts"/*

  # The malloc limit is far above anything a 4 KiB input legitimately needs,
  # so an allocation sized by an unchecked length field is reported.
  status=ok
  start=$SECONDS
  "$build/tests/fuzz/$target" "$corpus" "$root/tests/fuzz/seeds/$name" \
    -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -rss_limit_mb=2048 -malloc_limit_mb=64 \
    -artifact_prefix="$artifacts/" -print_final_stats=1 >"$log" 2>&1 \
    || status=failed
  if compgen -G "$artifacts/*" >/dev/null; then
    status=failed
  fi

  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  secs=$((SECONDS - start))
  findings="$(find "$artifacts" -type f | wc -l)"
  echo "$target: runs=${runs:-?} seconds=$secs findings=$findings $status"
  if [ "$status" != ok ]; then
    failed=1
    grep -m 5 -E 'ERROR|runtime error|round trip failed|Test unit written' \
      "$log" >&2 || true
    echo "  log: $log" >&2
  fi
done
exit "$failed"
