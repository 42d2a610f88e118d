#!/usr/bin/env bash
# Builds the libFuzzer targets with clang 14 in build-fuzz/ and runs each for a while.
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# SECONDS_PER_TARGET defaults to 60; without TARGETs every fuzz_* target that the build makes is run.
# Each target starts from its seeds in fuzz/corpus/<target>/, copied to fuzz-out/<target>/corpus so that the
# committed seeds never grow; a failing input, the log and the working corpus stay in fuzz-out/<target>/.
# The exit status is non-zero when any target failed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
if [[ $# -gt 0 ]]; then
  case "$1" in
    -h|--help) sed -n '2,7p' "$0"; exit 0 ;;
    *[!0-9]*|'') ;;
    *) seconds=$1; shift ;;
  esac
fi
if ((seconds < 1)); then
  echo "seconds per target must be at least 1" >&2
  exit 2
fi

# The compiler and its fuzzing runtime; deps.sh installs them (with the rest of the tool's needs) when missing.
for p in clang-14 libclang-rt-14-dev; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    scripts/deps.sh
    break
  fi
done

build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKESTRION_BUILD_FUZZ=ON -DKESTRION_BUILD_APP=OFF -DKESTRION_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "${KESTRION_JOBS:-2}"

targets=("$@")
if ((${#targets[@]} == 0)); then
  for bin in "$build"/fuzz/fuzz_*; do
    [[ -f $bin && -x $bin ]] && targets+=("$(basename "$bin")")
  done
fi
if ((${#targets[@]} == 0)); then
  echo "the build made no fuzz targets" >&2
  exit 1
fi
for target in "${targets[@]}"; do
  if [[ ! -x $build/fuzz/$target ]]; then
    echo "no such fuzz target: $target" >&2
    exit 2
  fi
done

# Undefined behaviour must stop the run like a crash does, not merely be printed.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}

failed=()
summary=()
for target in "${targets[@]}"; do
  out=fuzz-out/$target
  rm -rf "$out/corpus"
  mkdir -p "$out/corpus"
  if [[ -d fuzz/corpus/$target ]]; then
    cp -R fuzz/corpus/"$target"/. "$out/corpus/"
  fi
  echo "== $target: $seconds s"
  status=0
  "$build/fuzz/$target" -max_len=4096 -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -dict=fuzz/kestrion.dict -artifact_prefix="$out/" "$out/corpus" >"$out/log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/log" | tail -n 1)
  # A run that stops at a failure may print no final statistics: its last progress line counts then.
  [[ -z $runs ]] && runs=$(sed -n 's/^#\([0-9][0-9]*\)[[:space:]].*/\1/p' "$out/log" | tail -n 1)
  took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$out/log" | tail -n 1)
  if ((status == 0)); then
    line="$target: ${runs:-?} executions in ${took:-$seconds} s, no failure"
  else
    artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$out/log" | tail -n 1)
    line="$target: FAILED (exit $status) after ${runs:-?} executions; input: ${artifact:-none written}; log: $out/log"
    # What went wrong, and the first place in a fuzz target's own checks that it passed through.
    grep -m 1 -E 'ERROR:|runtime error:' "$out/log" || true
    grep -m 1 -E ' in .*fuzz/[A-Za-z]+Fuzz\.cpp:[0-9]+' "$out/log" || true
    failed+=("$target")
  fi
  echo "$line"
  summary+=("$line")
done

echo "== summary"
printf '%s\n' "${summary[@]}"
if ((${#failed[@]} > 0)); then
  echo "failed: ${failed[*]}" >&2
  exit 1
fi
