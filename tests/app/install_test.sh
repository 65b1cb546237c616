#!/bin/sh
# Installs the build into a temporary prefix and runs both programs from there:
# korvex-decode decodes a capture, the sniffer starts on the offscreen platform
# (its capture file appears) and ends cleanly on SIGTERM (the file goes).
#   install_test.sh BUILD_DIR CAPTURE
set -eu
build=$1
capture=$2
prefix=$(mktemp -d "${TMPDIR:-/tmp}/korvex-prefix.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/korvex-i2c-sniffer bin/korvex-decode lib/korvex/libkorvex.so \
    share/korvex/symbol-library/eeprom-24cxx.xml share/korvex/device-profiles/rtc-ds1307.xml \
    share/applications/korvex-i2c-sniffer.desktop \
    share/icons/hicolor/128x128/apps/korvex-i2c-sniffer.png \
    share/man/man1/korvex-decode.1 lib/udev/rules.d/61-korvex-analyzers.rules; do
    [ -s "$prefix/$f" ] || fail "$f not installed"
done
grep -qx 'Exec=korvex-i2c-sniffer' "$prefix/share/applications/korvex-i2c-sniffer.desktop" ||
    fail "desktop entry does not start the sniffer"
# The installed sniffer takes the installed adapter library, not the build tree's.
ldd "$prefix/bin/korvex-i2c-sniffer" | grep -q "libkorvex.so => $prefix/bin/../lib/korvex/" ||
    fail "the sniffer does not find its adapter library in the prefix"

"$prefix/bin/korvex-decode" --help | grep -q '^usage: korvex-decode' || fail "korvex-decode --help"
[ "$("$prefix/bin/korvex-decode" --format=summary "$capture" | wc -l)" -gt 1 ] ||
    fail "korvex-decode decodes nothing"

QT_QPA_PLATFORM=offscreen "$prefix/bin/korvex-i2c-sniffer" 2>/dev/null &
pid=$!
waited=0
until [ -e I2CDataTemp.dat ]; do
    kill -0 "$pid" 2>/dev/null || fail "the sniffer ended at start"
    [ "$waited" -lt 300 ] || { kill -KILL "$pid"; fail "the sniffer did not start in 30 s"; }
    sleep 0.1
    waited=$((waited + 1))
done
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "the sniffer ended with status $status on SIGTERM"
[ ! -e I2CDataTemp.dat ] || fail "the sniffer left its capture file"
echo "installed into $prefix and ran both programs"
