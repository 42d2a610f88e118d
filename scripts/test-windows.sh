#!/usr/bin/env bash
# Builds Kestrion for Windows with MinGW-w64 (the `windows` preset, in build-windows/) and runs its tests under
# Wine. Installs both when they are missing; where they cannot be installed it says so in one line and succeeds.
#   scripts/test-windows.sh    (scripts/test.sh runs it too; scripts/test.sh --windows runs only it)
set -euo pipefail
cd "$(dirname "$0")/.."

skip() {
  echo "Windows build skipped: $*"
  exit 0
}

# Debian keeps Wine's programs out of the PATH.
wine_dir=/usr/lib/wine
wine="$wine_dir/wine64"
wineserver="$wine_dir/wineserver"

# Python plays the other end of the COM ports in the port tests.
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || [[ ! -x $wine ]] ||
  [[ ! -f /usr/src/googletest/CMakeLists.txt ]] || ! command -v python3 >/dev/null || ! command -v Xvfb >/dev/null; then
  scripts/deps.sh --with g++-mingw-w64-x86-64-posix wine64 googletest python3 xvfb ||
    skip "MinGW-w64 (g++-mingw-w64-x86-64-posix), Wine (wine64), the GoogleTest sources or Python 3" \
      "cannot be installed"
fi
command -v x86_64-w64-mingw32-g++-posix >/dev/null || skip "x86_64-w64-mingw32-g++-posix is not there after installing"
[[ -x $wine ]] || skip "$wine is not there after installing"

build=build-windows
jobs=$(nproc)
mkdir -p "$build"

# A prefix of the build's own, made once. No desktop: the tests are console programs, and without a display
# Wine draws nothing; the window test makes a display of its own. Mono and Gecko are not wanted (and would be downloaded).
export WINEPREFIX="$PWD/$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  echo "== windows: making the Wine prefix $WINEPREFIX"
  started=$SECONDS
  "$wine" wineboot -i >"$build/wineboot.log" 2>&1 || {
    cat "$build/wineboot.log" >&2
    echo "wineboot failed" >&2
    exit 1
  }
  "$wineserver" -w  # the prefix is complete once its server has written the registry
  echo "   made in $((SECONDS - started)) s"
fi

# The COM ports of the port tests (tests/windows/ports.txt): fixed links in $build/com-ports/, which the peer
# that CTest starts points at its pseudo-terminals. Wine makes its COM ports from this registry key when it starts;
# the links in dosdevices/ are its own to rewrite.
links="$PWD/$build/com-ports"
ports=$(grep -h '^COM' tests/windows/ports.txt tests/win32/ports.txt)
stamp="$WINEPREFIX/kestrion-com-ports"
if [[ ! -f $stamp || $(<"$stamp") != "$links"$'\n'"$ports" ]]; then
  echo "== windows: naming the test ports in the Wine prefix"
  started=$SECONDS
  while read -r name link; do
    "$wine" reg add 'HKLM\Software\Wine\Ports' /v "$name" /d "$links/$link" /f >>"$build/wineboot.log" 2>&1
  done <<<"$ports"
  "$wineserver" -w
  printf '%s\n%s\n' "$links" "$ports" >"$stamp"
  echo "   named in $((SECONDS - started)) s"
fi

# The window tests run on a display of their own, without a window manager, with the dialog fonts shown in an
# installed CJK font (tests/win32/window-prefix.reg, which regedit reads as UTF-16).
settings_stamp="$WINEPREFIX/kestrion-window-settings"
if [[ ! -f $settings_stamp ]] || ! cmp -s tests/win32/window-prefix.reg "$settings_stamp"; then
  echo "== windows: window settings in the Wine prefix"
  iconv -f UTF-8 -t UTF-16 tests/win32/window-prefix.reg >"$build/window-prefix.reg"
  "$wine" regedit /S "Z:$(sed 's|/|\\|g' <<<"$PWD/$build/window-prefix.reg")" >>"$build/wineboot.log" 2>&1
  "$wineserver" -w
  cp tests/win32/window-prefix.reg "$settings_stamp"
fi

# The Linux side of the window tests: the station that plays the instrument and the reference that the window's
# files are compared with. From the ordinary build when there is one, else from a small build of its own.
linux_tools=build
if [[ ! -f $linux_tools/build.ninja ]]; then
  linux_tools=$build/linux-tools
  if [[ ! -f $linux_tools/build.ninja ]]; then
    cmake -S . -B "$linux_tools" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRION_BUILD_APP=OFF \
      -DKESTRION_BUILD_TESTS=OFF >/dev/null
  fi
fi
echo "== Linux tools for the window tests (in $linux_tools)"
cmake --build "$linux_tools" -j "$jobs" --target kestrion-station kestrion-win32-reference

echo "== windows build"
cmake --preset windows -DKESTRION_LINUX_TOOLS="$PWD/$linux_tools" >/dev/null
started=$SECONDS
cmake --build "$build" -j "$jobs"
echo "   built in $((SECONDS - started)) s"

echo "== windows tests (under Wine)"
# One server for every test program, started here and stopped at the end however the tests went. Wine's own
# services start with the first program and would hold its output open, and CTest would wait for them: a
# first program of no interest starts them with its output going to a log.
# A server left running for this prefix (an interrupted run) would make this one fail: it goes first.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w 2>/dev/null || true
"$wineserver" -p >"$build/wineserver.log" 2>&1
trap '"$wineserver" -k 2>/dev/null || true' EXIT
"$wine" cmd /c exit >>"$build/wineserver.log" 2>&1
started=$SECONDS
ctest --test-dir "$build" --output-on-failure -j "$jobs" -LE window
echo "   ran in $((SECONDS - started)) s"

# The window test restarts the server on its own display (Xvfb), so it runs after the others.
echo "== windows window test (under Wine, on Xvfb)"
started=$SECONDS
ctest --test-dir "$build" --output-on-failure -L window
echo "   ran in $((SECONDS - started)) s"

# The zip and the installer, as scripts/package-windows.sh makes them from this build, and what they hold.
if command -v wixl >/dev/null && command -v zip >/dev/null || scripts/deps.sh --with wixl msitools zip; then
  echo "== windows package"
  scripts/package-windows.sh
  bash tests/win32/check_package.sh "$build"/package/Kestrion-*-windows-x64.zip "$build"/package/Kestrion-*-windows-x64.msi
else
  echo "Windows package skipped: wixl (msitools) or zip cannot be installed"
fi
