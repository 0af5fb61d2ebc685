#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed programs
# the way a user would: with a fresh home, no build tree on any search path.
# Checks that the libraries, the data and the desktop files are in place, that
# nomixcli starts and calculates, that the engine loads libNomix296 from the
# installed lib/, and (when the desktop program was built) that nomix starts
# and exits cleanly offscreen.
#
# Usage: install_test.sh CMAKE BUILD_DIR
set -uo pipefail
cmake="$1"
build="$2"

work="$(mktemp -d "${TMPDIR:-/tmp}/nomix-install-XXXXXX")"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! "$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi

for file in bin/nomixcli lib/libnxeng296.so lib/libNomix296.so share/nomix/Nomix.nx \
            share/nomix/language/phase1.nxl share/nomix/help/index.html share/nomix/help/Overview.htm share/nomix/help/nomix.css \
            share/applications/nomix.desktop share/icons/hicolor/scalable/apps/nomix.svg; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done
[ -e "$prefix/share/nomix/nomix.desktop" ] && fail "the desktop entry is installed among the data too"

# A clean environment: nothing points at the build tree or a user's files.
run() {
  env -u NOMIX_HOME -u NOMIX_DATA_DIR -u XDG_DATA_HOME -u LD_LIBRARY_PATH HOME="$work/home" "$@"
}
mkdir -p "$work/home"

# The installed data, not the source tree the build came from, seeds a new
# program directory: a definition added to the installed UserDefs.nx is seen.
printf 'Def Const: installedmarker = 42\r\n' >>"$prefix/share/nomix/UserDefs.nx"

out="$(run LD_DEBUG=files "$prefix/bin/nomixcli" -e '2+3' -e 'installedmarker' 2>"$work/ld.log")"
status=$?
[ $status -eq 0 ] || fail "the installed nomixcli exited with $status"
grep -qx 'Answer: 5' <<<"$out" || fail "the installed nomixcli did not answer 5: $out"
grep -qx 'Answer: 42' <<<"$out" || fail "the program directory was not seeded from the installed share/nomix: $out"
# The loader names the libraries by the RPATH it used: $ORIGIN/../lib.
for lib in libnxeng296.so libNomix296.so; do
  grep -Eq "(calling init: |file=)$prefix/(bin/\.\./)?lib/$lib" "$work/ld.log" ||
    fail "$lib was not loaded from $prefix/lib"
done
home="$work/home/.local/share/nomix"
for file in Nomix.nx nomix.cnv nomix.usm help/index.html help/Overview.htm; do
  [ -f "$home/$file" ] || fail "the new program directory lacks $file"
done

if [ -x "$prefix/bin/nomix" ]; then
  mkdir -p "$work/gui-home"
  run QT_QPA_PLATFORM=offscreen timeout 120 "$prefix/bin/nomix" --home "$work/gui-home" --exit-after-start \
    >"$work/nomix.log" 2>&1
  status=$?
  [ $status -eq 0 ] || { cat "$work/nomix.log"; fail "the installed nomix --exit-after-start exited with $status"; }
else
  echo "nomix is not installed by this build: the desktop program's start is not checked"
fi

if [ $failures -gt 0 ]; then
  echo "$failures install check(s) failed"
  exit 1
fi
echo "The installed programs run from $prefix"
