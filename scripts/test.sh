#!/usr/bin/env bash
# Builds Kestrion and runs every test. Installs what is missing first.
#   scripts/test.sh            the three Linux builds, then the Windows build (what CI runs)
#   scripts/test.sh --quick    the ordinary build in build/ only
#   scripts/test.sh --asan     AddressSanitizer + UndefinedBehaviorSanitizer, in build-asan/
#   scripts/test.sh --tsan     ThreadSanitizer, in build-tsan/
#   scripts/test.sh --windows  the Windows build (MinGW-w64) in build-windows/, its tests under Wine
set -euo pipefail
cd "$(dirname "$0")/.."

presets=()
windows=0
for arg in "$@"; do
  case "$arg" in
    --asan) presets+=(asan) ;;
    --tsan) presets+=(tsan) ;;
    --quick) presets+=(dev) ;;
    --windows) windows=1 ;;
    --all) presets+=(dev asan tsan); windows=1 ;;
    -h|--help) sed -n '2,7p' "$0"; exit 0 ;;
    *) echo "unknown option: $arg (try --help)" >&2; exit 2 ;;
  esac
done
if ((${#presets[@]} == 0 && windows == 0)); then
  presets=(dev asan tsan)
  windows=1
fi

scripts/deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
# The window's tests need no desktop; sanitizer runs stop at the first report.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

for preset in "${presets[@]+"${presets[@]}"}"; do
  echo "== $preset build"
  cmake --preset "$preset" >/dev/null
  dir=build
  [[ $preset != dev ]] && dir=build-$preset
  cmake --build "$dir" -j "$jobs"
  echo "== $preset tests"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
done

# A separate script: it installs its own tools, and skips with one line where it cannot.
if ((windows)); then
  bash scripts/test-windows.sh
fi
