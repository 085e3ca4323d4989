#!/usr/bin/env bash
# The cross-built game under Wine, in a console drawn into a tmux pane: the
# title, "auto" and both boards in their colours, a typed shot and round 2,
# Ctrl+C that does not end the game, and "quit" with status 0 and the
# console's modes, cursor and colours handed back.
#
# Wine runs in a private prefix made for this run, with no PulseAudio driver
# and, as its ALSA sound card, a device that writes every sample it is given
# to a file and plays nothing: Wine hands the clips' samples over unchanged,
# so the file must hold exactly the clips the shots call for, in order.
# Wine's SAPI voice exists but its Speak fails: the game must play on
# silently.
#
# Usage: wine_smoke_test.sh KEELMARK.EXE CONSOLE_STATE_PROBE.EXE CLIP_FOLDER

set -u
unset DISPLAY WAYLAND_DISPLAY
probe=$(readlink -f "$2")
clips=$(readlink -f "$3")
[[ -f $probe ]] || { echo "no program at '$probe'" >&2; exit 2; }
command -v wine >/dev/null || { echo "wine is not installed" >&2; exit 2; }
source "$(dirname "$0")/../terminal/harness.sh" "$1"
# The prefix lives in the work folder: its server goes before the folder.
trap 'wineserver -k >/dev/null 2>&1; Cleanup' EXIT
# Wine is slow to start and heavy to run beside the polling.
pollInterval=0.1
# Wine's console writes light grey on black as the terminal's default.
defaultForeground=7
defaultBackground=0

export HOME=$work/home
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
# No Mono or Gecko installers at prefix creation, and ALSA rather than a
# PulseAudio server that may or may not be running for this user.
export WINEDLLOVERRIDES="mscoree,mshtml=;winepulse.drv=d"
mkdir -p "$HOME"
# Each clip opens the device anew; the pipe appends where a file would be
# started over.
cat >"$HOME/.asoundrc" <<EOF
pcm.!default { type file slave.pcm "null" file "|cat >>$work/heard.raw" format "raw" }
ctl.!default { type hw card 0 }
EOF

started=$SECONDS
wineboot --init >"$work/wineboot.log" 2>&1 && wineserver -w ||
  { cat "$work/wineboot.log" >&2; echo "Wine would not make its prefix" >&2; exit 2; }
Note "Wine prefix made in $((SECONDS - started)) s"

# The game runs as the probe's child in the probe's console; the probe notes
# the console before and after, and ends with 0 only if the game ended with
# 0 and gave everything back. The terminal settings around Wine are noted
# too: Wine's console must give the tty back as well.
cp "$game" "$work/keelmark.exe"
cp "$probe" "$work/probe.exe"
cat >"$work/run.sh" <<EOF
cd "$work" || exit 1
stty -g >stty.before
wine probe.exe keelmark.exe
echo \$? >status.now
# Wine's console program hands the tty back on its own way out, which may
# come a moment after the game's.
wineserver -w
stty -g >stty.after
mv status.now status
EOF
Tmux new-session -d -s game -x 80 -y 25 -e LANG=C.UTF-8 -e TERM=tmux-256color "bash $work/run.sh; sleep 600" ||
  { echo "tmux would not start" >&2; exit 2; }

# Wine's sound thread fills a gap with silence when it runs late on a busy
# machine, so silent bytes (0x80 in the 8-bit clips, 0x00 in the 16-bit one)
# are left out of the comparison; everything else must match in order.
SameSoundBesidesSilence() {
  cmp -s <(tr -d '\000\200' <"$1") <(tr -d '\000\200' <"$2")
}

# --- Title and introduction -----------------------------------------------
WaitForText 3 1 "Press any key to continue." 60
LoadScreen
ExpectText 1 1 " Keelmark version 1.0-pre5" 7
ExpectText 2 1 " Written by the Keelmark crew, to be played by ear." 7
ExpectText 3 1 "Press any key to continue." 7

# --- "auto" and both boards ------------------------------------------------
TypeLine "auto"
WaitForText 24 1 "coordinates: " 20
WaitForText 1 60 "Round       1 " 20
LoadScreen
ExpectBoardsOfRoundOne

# --- Ctrl+C ----------------------------------------------------------------
# Wine's console keeps the tty's interrupt character, so Ctrl+C reaches the
# game as a console control event rather than as a key; either way it must
# not end the game. (As a key it is covered by the in-process tests.)
Keys C-c
sleep 1
[[ ! -e $work/status ]] || Fail "Ctrl+C ended the game"
LoadScreen
ExpectText 24 1 "coordinates: " 7

# --- A typed shot -------------------------------------------------------------
TypeLine "c7"
if WaitForText 1 60 "Round       2 " 30; then
  # The clips of round 1 are the player's shot and the computer's, each
  # "drop" and then "miss" or "hit" as the marks show.
  LoadScreen
  playerClip=none computerClip=none
  ReadShot 3 7 && playerClip=$shot || Fail "the shot at C 7 is marked $shot"
  ExpectText 25 20 "computer chooses: " 3
  if ReadComputerSquare; then
    ReadShot "$computerRow" "$computerColumn" && computerClip=$shot ||
      Fail "the computer's shot at $computerSquare is marked $shot"
    Note "round 1 calls for DROP $playerClip DROP $computerClip"
    # The clips' samples, one after the other, as Wine passes them on.
    for clip in DROP "$playerClip" DROP "$computerClip"; do
      sox "$clips/$clip.wav" -t raw - || Fail "sox could not read $clip"
    done >"$work/expected.raw"
    # Wine's sound thread may still be handing over the last samples.
    WaitUntil 5 SameSoundBesidesSilence "$work/expected.raw" "$work/heard.raw" ||
      Fail "the sound device did not get DROP $playerClip DROP $computerClip whole and in order" \
        "($(stat -c %s "$work/heard.raw" 2>/dev/null || echo no) bytes, $(stat -c %s "$work/expected.raw") expected)"
  else
    Fail "no square after 'computer chooses: ' ('$computerText')"
  fi
fi

# --- "quit" --------------------------------------------------------------------
WaitForText 24 1 "coordinates: " 20 || true
TypeLine "quit"
# The probe's notes are lines "status N", "before STATE" and "after STATE".
ProbeNote() { tr -d '\r' 2>/dev/null <"$work/console_state.txt" | sed -n "s/^$1 //p"; }
if WaitUntil 30 test -e "$work/status"; then
  [[ $(cat "$work/status") == 0 ]] || Fail "the probe ended with $(cat "$work/status")"
  cmp -s "$work/stty.before" "$work/stty.after" || Fail "the terminal settings changed"
  [[ -f $work/console_state.txt ]] || Fail "the probe noted nothing"
  tr -d '\r' 2>/dev/null <"$work/console_state.txt" | sed 's/^/   /'
  [[ $(ProbeNote status) == 0 ]] || Fail "the game ended with status '$(ProbeNote status)'"
  before=$(ProbeNote before)
  [[ -n $before && $before == "$(ProbeNote after)" ]] || Fail "the console was not handed back as it was"
else
  Fail "the game did not end after \"quit\""
fi

Note "took $((SECONDS - started)) s"
Finish
