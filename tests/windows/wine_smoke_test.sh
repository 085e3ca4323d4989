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
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset TMUX DISPLAY WAYLAND_DISPLAY

game=$(readlink -f "$1")
probe=$(readlink -f "$2")
clips=$(readlink -f "$3")
for program in "$game" "$probe"; do
  [[ -f $program ]] || { echo "no program at '$program'" >&2; exit 2; }
done
command -v wine >/dev/null || { echo "wine is not installed" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/keelmark-wine.XXXXXX")
socket="keelmark-wine-$$-$RANDOM"
failures=0

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

Tmux() { tmux -L "$socket" -f /dev/null "$@"; }

Cleanup() {
  Tmux kill-server >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1
  rm -rf "$work"
}
trap Cleanup EXIT

Fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

Note() { echo "-- $*"; }

WaitUntil() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS >= deadline)) && return 1
    sleep 0.1
  done
}

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

# --- Reading the screen --------------------------------------------------
# One row as characters and console colour numbers, from capture-pane -e.
declare -a rowGlyphs rowColours

ConsoleColour() {  # ANSI colour index 0..7 -> console colour 0..7
  echo $(( (($1 & 1) << 2) | ($1 & 2) | (($1 & 4) >> 2) ))
}

LoadRow() {
  local line esc=$'\e' i=0 column=0 foreground=7 code params
  line=$(Tmux capture-pane -p -e -t game | sed -n "${1}p")
  rowGlyphs=() rowColours=()
  while ((i < ${#line})); do
    if [[ ${line:i:2} == "$esc[" ]]; then
      params=${line:i+2}
      params=${params%%m*}
      i=$((i + 3 + ${#params}))
      IFS=';' read -ra codes <<<"${params:-0}"
      for ((k = 0; k < ${#codes[@]}; k++)); do
        code=${codes[k]}
        if ((code == 0 || code == 39)); then foreground=7
        elif ((code >= 30 && code <= 37)); then foreground=$(ConsoleColour $((code - 30)))
        elif ((code >= 90 && code <= 97)); then foreground=$(($(ConsoleColour $((code - 90))) + 8))
        elif ((code == 38)) && [[ ${codes[k + 1]:-} == 5 ]]; then
          local index=${codes[k + 2]:-7}
          if ((index < 8)); then foreground=$(ConsoleColour "$index")
          elif ((index < 16)); then foreground=$(($(ConsoleColour $((index - 8))) + 8)); fi
          k=$((k + 2))
        fi
      done
      continue
    fi
    column=$((column + 1))
    rowGlyphs[column]=${line:i:1}
    rowColours[column]=$foreground
    i=$((i + 1))
  done
}

TextAt() {  # row column length
  local row=$1 column=$2 length=$3 text="" k
  LoadRow "$row"
  for ((k = column; k < column + length; k++)); do text+=${rowGlyphs[k]:- }; done
  printf '%s' "$text"
}

TextIsAt() { [[ $(TextAt "$1" "$2" "${#3}") == "$3" ]]; }

WaitForText() {  # row column text [seconds]
  WaitUntil "${4:-20}" TextIsAt "$1" "$2" "$3" ||
    { Fail "row $1, column $2 never showed '$3' (it shows '$(TextAt "$1" "$2" "${#3}")')"; return 1; }
}

# ExpectText row column text colour: the text there, every cell in that colour.
ExpectText() {
  local row=$1 column=$2 text=$3 colour=$4 k found=""
  LoadRow "$row"
  for ((k = 0; k < ${#text}; k++)); do
    found+=${rowGlyphs[column + k]:- }
    local cellColour=${rowColours[column + k]:-7}
    if [[ ${text:k:1} != " " && $cellColour != "$colour" ]]; then
      Fail "row $row, column $((column + k)) ('${text:k:1}') is colour $cellColour, not $colour"
    fi
  done
  [[ $found == "$text" ]] || Fail "row $row, column $column shows '$found', not '$text'"
}

Keys() { Tmux send-keys -t game "$@"; }
Type() { Tmux send-keys -t game -l "$1"; }
GameIsRunning() { [[ ! -e $work/status ]]; }

# Wine's sound thread fills a gap with silence when it runs late on a busy
# machine, so silent bytes (0x80 in the 8-bit clips, 0x00 in the 16-bit one)
# are left out of the comparison; everything else must match in order.
SameSoundBesidesSilence() {
  cmp -s <(tr -d '\000\200' <"$1") <(tr -d '\000\200' <"$2")
}

# The samples of the named clips, one after the other, as Wine passes them on.
ClipSamples() {
  local name
  for name in "$@"; do sox "$clips/$name.wav" -t raw - || return 1; done
}

# --- Title and introduction -----------------------------------------------
WaitForText 3 1 "Press any key to continue." 60
ExpectText 1 1 " Keelmark version 1.0-pre5" 7
ExpectText 2 1 " Written by the Keelmark crew, to be played by ear." 7
ExpectText 3 1 "Press any key to continue." 7

# --- "auto" and both boards ------------------------------------------------
Type "auto"
Keys Enter
WaitForText 24 1 "coordinates: "
WaitForText 1 60 "Round       1 "
for ((row = 1; row <= 10; row++)); do
  letter=$(printf "\\x$(printf '%x' $((64 + row)))")
  ExpectText "$row" 1 "xxxxxxxxxx    $letter" 7
done
ExpectText 11 1 "1234567890" 7
ExpectText 23 1 "1234567890" 7
ExpectText 1 60 "Round       1 " 7
# The home board: the whole fleet in green on the grey "X" of water.
fleet=""
for ((row = 13; row <= 22; row++)); do
  LoadRow "$row"
  for ((column = 1; column <= 10; column++)); do
    glyph=${rowGlyphs[column]:-?} colour=${rowColours[column]:-?}
    case $glyph in
      X) [[ $colour == 7 ]] || Fail "water at row $row, column $column is colour $colour" ;;
      D | S | R | B | C)
        [[ $colour == 2 ]] || Fail "ship at row $row, column $column is colour $colour"
        fleet+=$glyph
        ;;
      *) Fail "home board row $row, column $column shows '$glyph'" ;;
    esac
  done
  [[ ${rowGlyphs[15]:-} == $(printf "\\x$(printf '%x' $((64 + row - 12)))") ]] ||
    Fail "home board row $row has no row letter"
done
sortedFleet=$(echo "$fleet" | grep -o . | sort | tr -d '\n')
[[ $sortedFleet == "BBBBCCCCCDDRRRSSS" ]] || Fail "the home board holds the fleet '$sortedFleet'"

# --- Ctrl+C ----------------------------------------------------------------
# Wine's console keeps the tty's interrupt character, so Ctrl+C reaches the
# game as a console control event rather than as a key; either way it must
# not end the game. (As a key it is covered by the in-process tests.)
Keys C-c
sleep 1
GameIsRunning || Fail "Ctrl+C ended the game"
ExpectText 24 1 "coordinates: " 7

# --- A typed shot -------------------------------------------------------------
Type "c7"
Keys Enter
if WaitForText 1 60 "Round       2 " 30; then
  # The clips of round 1 are the player's shot and the computer's, each
  # "drop" and then "miss" or "hit" as the marks show.
  playerClip=none computerClip=none
  LoadRow 3
  case "${rowGlyphs[7]:-}/${rowColours[7]:-}" in
    0/4) playerClip=MISS ;;
    o/1) playerClip=HIT ;;
    *) Fail "the shot at C 7 is marked '${rowGlyphs[7]:-}' in colour ${rowColours[7]:-}" ;;
  esac
  ExpectText 25 20 "computer chooses: " 3

  computerSquare=$(TextAt 25 38 12)
  if [[ $computerSquare =~ ^\ *([A-J])\ +([0-9]+) ]]; then
    computerRow=$(($(printf '%d' "'${BASH_REMATCH[1]}") - 64 + 12))
    computerColumn=${BASH_REMATCH[2]}
    LoadRow "$computerRow"
    case "${rowGlyphs[computerColumn]:-}/${rowColours[computerColumn]:-}" in
      0/12) computerClip=MISS ;;
      O/9) computerClip=HIT ;;
      *) Fail "the computer's shot at $computerSquare is marked '${rowGlyphs[computerColumn]:-}'" \
           "in colour ${rowColours[computerColumn]:-}" ;;
    esac
    Note "round 1 calls for DROP $playerClip DROP $computerClip"
    ClipSamples DROP "$playerClip" DROP "$computerClip" >"$work/expected.raw" ||
      Fail "sox could not read the clips"
    # Wine's sound thread may still be handing over the last samples.
    WaitUntil 5 SameSoundBesidesSilence "$work/expected.raw" "$work/heard.raw" ||
      Fail "the sound device did not get DROP $playerClip DROP $computerClip whole and in order" \
        "($(stat -c %s "$work/heard.raw" 2>/dev/null || echo no) bytes, $(stat -c %s "$work/expected.raw") expected)"
  else
    Fail "no square after 'computer chooses: ' ('$computerSquare')"
  fi
fi

# --- "quit" --------------------------------------------------------------------
WaitForText 24 1 "coordinates: " || true
Type "quit"
Keys Enter
if WaitUntil 30 test -e "$work/status"; then
  status=$(cat "$work/status")
  if [[ -f $work/console_state.txt ]]; then
    tr -d '\r' <"$work/console_state.txt" >"$work/console_state"
    sed 's/^/   /' "$work/console_state"
    gameStatus=$(sed -n 's/^status //p' "$work/console_state")
    [[ $gameStatus == 0 ]] || Fail "the game ended with status $gameStatus"
    before=$(sed -n 's/^before //p' "$work/console_state")
    after=$(sed -n 's/^after //p' "$work/console_state")
    [[ -n $before && $before == "$after" ]] || Fail "the console was not handed back as it was"
  else
    Fail "the probe noted nothing"
  fi
  [[ $status == 0 ]] || Fail "the probe ended with $status"
  cmp -s "$work/stty.before" "$work/stty.after" || Fail "the terminal settings changed"
else
  Fail "the game did not end after \"quit\""
fi

Note "took $((SECONDS - started)) s"
if ((failures > 0)); then
  echo "$failures check(s) failed; the screen at the end:" >&2
  Tmux capture-pane -p -t game 2>/dev/null | sed 's/^/| /' >&2
  exit 1
fi
echo "all checks passed"
