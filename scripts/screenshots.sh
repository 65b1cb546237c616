#!/usr/bin/env bash
# Remakes the pictures in docs/ from the real program under Xvfb:
#   docs/screenshot.png       the window capturing from the simulator
#   docs/following-tall.png   a tall window following a capture, last row whole
#   docs/protocol-dialog.png  the protocol dialog with a few symbols
#   docs/labelled-rows.png    rows labelled while decoding
#   docs/saved-html.png       a capture saved as HTML, in headless Chromium
#   docs/address-map.png      the address map beside the table while capturing
#   docs/find-bar.png         the find bar on a match, at the window's own size
#   docs/filtered-nacks.png   only the EEPROM's NACKs, with the map and the status bar
#   docs/health-replay.png    the 总线健康 panel on a replayed capture with cut STARTs
#   docs/health-simulator.png the panel on the simulator with injected faults
#   docs/filtered-errors.png  only the rows with errors (ERR) of that replay
#   docs/transactions.png     the transaction view following a capture
#   docs/transactions-tall.png  the same in a tall window
#   docs/transaction-nacks.png  only the EEPROM's NACKed transactions, with the status bar
# Needs xvfb, xdotool, imagemagick and chromium (Debian packages). With the
# argument "gui" only the window pictures are made, with "health" only the
# bus health ones.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
bin=${KORVEX_BUILD_DIR:-build}/bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/symbols"
cat >"$work/symbols/symboldef.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<Symbols>
    <Symbol Name="EEPROM">
        <Type>ADDR</Type><Addr>50</Addr><Data>-</Data><BytePosition>0</BytePosition><ReadWrite>WRITE</ReadWrite>
    </Symbol>
    <Symbol Name="EEPROM读">
        <Type>ADDR</Type><Addr>50</Addr><Data>-</Data><BytePosition>0</BytePosition><ReadWrite>READ</ReadWrite>
    </Symbol>
    <Symbol Name="RTC">
        <Type>ADDR</Type><Addr>68</Addr><Data>-</Data><BytePosition>0</BytePosition><ReadWrite>WRITE</ReadWrite>
    </Symbol>
    <Symbol Name="秒">
        <Type>ADDR</Type><Addr>68</Addr><Data>-</Data><BytePosition>1</BytePosition><ReadWrite>READ</ReadWrite>
    </Symbol>
    <Symbol Name="SENSOR">
        <Type>ADDR</Type><Addr>40</Addr><Data>-</Data><BytePosition>0</BytePosition><ReadWrite>READ</ReadWrite>
    </Symbol>
</Symbols>
XML

# One X session per picture: start the program, act, grab the screen.
shoot() { # name script [screen size, default the window's]
    local name=$1 script=$2 size=${3:-903x462}
    (cd "$work" && KORVEX_LIVE=0 xvfb-run -a -s "-screen 0 ${size}x24" bash -c "
        '$top/$bin/korvex-i2c-sniffer' >/dev/null 2>&1 & pid=\$!
        sleep 2
        wid=\$(xdotool search --name 'KORVEX I2C Sniffer' | head -1)
        xdotool windowsize \$wid ${size/x/ } windowfocus \$wid; sleep 0.5
        $script
        import -window root '$top/docs/$name.png'
        kill \$pid; wait \$pid || true")
    echo "docs/$name.png"
}
# The window fills the screen; the tool bar buttons' centres, from the left.
start='xdotool mousemove 30 42 click 1; sleep 1; xdotool key Return; sleep 1.5'
stop='xdotool mousemove 63 42 click 1; sleep 0.5'
decode='xdotool mousemove 172 42 click 1; sleep 0.3'
config='xdotool mousemove 206 42 click 1; sleep 1.5'

# The bus health pictures: a replay of a recorded capture as the only adapter
# (at once, not at its recorded pace), and the simulator with faults.
focus='xdotool windowfocus $wid; sleep 0.3'
replay=$top/tests/data/captures/extra/8564je_nacks.sr
health="$focus; xdotool key ctrl+h; sleep 1"
shoot_replay() {
    KORVEX_SIMULATOR=0 KORVEX_REPLAY=$replay KORVEX_REPLAY_SPEED=max shoot "$@"
}
# The panel's first row selected, then its first error's row made current.
pick='xdotool mousemove 980 239 click 1; sleep 0.3; xdotool mousemove 953 812 click 1; sleep 1'
shoot_replay health-replay "$start; sleep 2; $stop; $health; $pick" 1300x850
KORVEX_SIM_FAULTS=all shoot health-simulator "$start; sleep 4; $stop; $health" 1300x850
errors="$focus; xdotool key ctrl+f; sleep 0.5; xdotool type --delay 30 ERR; xdotool key Return
        sleep 1; xdotool key Tab Tab Tab space; sleep 2"
shoot_replay filtered-errors "$start; sleep 2; $stop; $errors" 903x462
[ "${1:-}" = health ] && exit 0

shoot screenshot "$start"
shoot protocol-dialog "$config"
shoot labelled-rows "$decode; $start; $stop"
# The find bar by its keys: Ctrl+F, the query, Return; Tab three times reaches
# its filter switch. Ctrl+M opens the address map beside the table.
# After a dialog the window takes the keys again ($wid is shoot's window).
find="$focus; xdotool key ctrl+f; sleep 0.5; xdotool type --delay 30 'addr=50 NACK'
      xdotool key Return; sleep 1"
filter='xdotool key Tab Tab Tab space; sleep 2'
shoot address-map "$start; sleep 3; $focus; xdotool key ctrl+m; sleep 2" 1300x850
shoot find-bar "$start; sleep 2; $stop; $find" 903x462
shoot filtered-nacks "$start; sleep 2; $focus; xdotool key ctrl+m; sleep 1; $find; $filter" 1300x850
shoot following-tall "$start; $stop" 1300x850
# Ctrl+T switches the table to transactions; the capture goes on while the
# picture is taken, so the view is following it.
transactions="$focus; xdotool key ctrl+t; sleep 0.5"
shoot transactions "$transactions; $start; sleep 2" 903x462
shoot transactions-tall "$transactions; $start; sleep 3" 1300x850
shoot transaction-nacks "$transactions; $start; sleep 3; $stop; $find; $filter" 1300x850

# A saved HTML capture, through the same writer as Save.
[ "${1:-}" = gui ] && exit 0
"$bin/korvex-decode" --format=html --output="$work/capture.html" \
    tests/data/captures/extra/24aa025uid_seqrndread256.sr
chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=900,600 \
    --screenshot="$top/docs/saved-html.png" "file://$work/capture.html" 2>/dev/null
echo docs/saved-html.png
