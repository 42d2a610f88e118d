#!/usr/bin/env bash
# Builds Kestrion and runs every test. Installs what is missing first.
#   scripts/test.sh            everything below, one after the other (what CI runs)
#   scripts/test.sh --quick    the ordinary build in build/ only
#   scripts/test.sh --asan     AddressSanitizer + UndefinedBehaviorSanitizer, in build-asan/
#   scripts/test.sh --tsan     ThreadSanitizer, in build-tsan/
#   scripts/test.sh --windows  the Windows build (MinGW-w64) in build-windows/, its tests under Wine
#   scripts/test.sh --bench    builds the benchmarks (into build/ after --quick, else in build-bench/); they are not
#                              run: they measure, not test
#   scripts/test.sh --fuzz     builds the fuzz targets in build-fuzz/ and runs each for a few seconds
set -euo pipefail
cd "$(dirname "$0")/.."

steps=()
for arg in "$@"; do
  case "$arg" in
    --asan) steps+=(asan) ;;
    --tsan) steps+=(tsan) ;;
    --quick) steps+=(dev) ;;
    --windows) steps+=(windows) ;;
    --bench) steps+=(bench) ;;
    --fuzz) steps+=(fuzz) ;;
    --all) steps+=(dev asan tsan windows bench fuzz) ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    *) echo "unknown option: $arg (try --help)" >&2; exit 2 ;;
  esac
done
((${#steps[@]} == 0)) && steps=(dev asan tsan windows bench fuzz)

scripts/deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
# The window's tests need no desktop; sanitizer runs stop at the first report.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

for step in "${steps[@]}"; do
  case "$step" in
    windows)
      # A separate script: it installs its own tools, and skips with one line where it cannot.
      bash scripts/test-windows.sh
      continue
      ;;
    fuzz)
      # Each target from its seeds for a few seconds: enough to show that the targets build and still hold.
      echo "== fuzz targets"
      KESTRION_JOBS=$jobs scripts/fuzz.sh "${KESTRION_FUZZ_SECONDS:-5}"
      continue
      ;;
    bench)
      # The benchmarks are built into the ordinary build when this run made one, so that they share its objects;
      # the bench preset (Release, build-bench/) is for taking their figures.
      echo "== bench build"
      if [[ " ${steps[*]} " == *" dev "* ]]; then
        cmake --preset dev -DKESTRION_BUILD_BENCH=ON >/dev/null
        cmake --build build -j "$jobs"
      else
        cmake --preset bench >/dev/null
        cmake --build build-bench -j "$jobs"
      fi
      continue
      ;;
  esac
  echo "== $step build"
  cmake --preset "$step" >/dev/null
  dir=build
  [[ $step != dev ]] && dir=build-$step
  cmake --build "$dir" -j "$jobs"
  echo "== $step tests"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
done
