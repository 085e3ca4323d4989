#!/usr/bin/env bash
# The cross-built game under Wine, in a console drawn into a tmux pane, heard
# through the tests' recording voice (Wine's own voice cannot speak) and a
# sound device that writes its samples to a file.
#
# The first run plays a whole game: a bare Enter at the title, the destroyer
# placed by two clicks, the submarine typed one end at a time, "auto", a
# square off the grid that the buzzer refuses and the cruiser typed as one
# text, the rest at random; then shots typed and clicked, Ctrl+C both as a
# console event and as a key, a double click that counts once, to "Game
# over.", the report and the key that ends it. The second run types a text
# that must not be read as markup and "quit". Each run is checked for every
# text spoken, in order and exactly, the flags the voice was given, one
# voice made on the game's thread in its single-threaded apartment and
# released once with nothing spoken after, and every clip whole and in
# order; then for status 0 and the console handed back as it was.
#
# With --wine-voice, the control: the second run with Wine's own voice, whose
# silence the voice checks must notice; the test passes when they do and
# everything else holds.
#
# Usage: wine_smoke_test.sh KEELMARK.EXE CONSOLE_STATE_PROBE.EXE
#          RECORDING_VOICE.DLL INPUT_INJECTOR.EXE CLIP_FOLDER [--wine-voice]

set -u
unset DISPLAY WAYLAND_DISPLAY
probe=$(readlink -f "$2")
voiceDll=$(readlink -f "$3")
injector=$(readlink -f "$4")
clips=$(readlink -f "$5")
control=0
[[ ${6:-} == --wine-voice ]] && control=1
for file in "$probe" "$voiceDll" "$injector"; do
  [[ -f $file ]] || { echo "no file at '$file'" >&2; exit 2; }
done
command -v wine >/dev/null || { echo "wine is not installed" >&2; exit 2; }
source "$(dirname "$0")/../terminal/harness.sh" "$1"
source "$(dirname "$0")/wine_prefix.sh"
# Wine is slow to start and heavy to run beside the polling.
pollInterval=0.1
# Wine's console writes light grey on black as the terminal's default.
defaultForeground=7
defaultBackground=0

started=$SECONDS
MakeWinePrefix
((control)) || RegisterRecordingVoice "$voiceDll" "$work/voice.log"
cp "$game" "$work/keelmark.exe"
cp "$probe" "$work/probe.exe"
cp "$injector" "$work/inject.exe"

# Each clip as the sound device gets it. Wine's sound thread fills a gap with
# silence when it runs late on a busy machine, so silent bytes (0x80 in the
# 8-bit clips, 0x00 in the 16-bit one) are left out of every comparison;
# everything else must match in order.
mkdir -p "$work/clips"
declare -A clipMilliseconds
for clip in DROP HIT MISS SINK BUZZER; do
  sox "$clips/$clip.wav" -t raw "$work/clips/$clip.raw" || { echo "sox could not read $clip" >&2; exit 2; }
  clipMilliseconds[$clip]=$(soxi -D "$clips/$clip.wav" | awk '{ printf "%d", $1 * 1000 }')
done
# How much sound the device has had, to set against the time a game takes.
heardMilliseconds=0
WithoutSilence() { tr -d '\000\200'; }

# --- One run ------------------------------------------------------------------

# The game runs as the probe's child in the probe's console, with the
# injector beside it; the probe notes the console before and after, and ends
# with 0 only if the game ended with 0 and gave everything back. The terminal
# settings around Wine are noted too: Wine's console must give the tty back.
StartWineGame() {
  rm -f "$work/status" "$work/voice.log" "$work/console_state.txt"
  : >"$work/inject.txt"
  : >"$work/injected.txt"
  injected=0
  spoken=()
  heardUpTo=$(stat -c %s "$work/heard.raw" 2>/dev/null || echo 0)
  cat >"$work/run.sh" <<EOF
cd "$work" || exit 1
stty -g >stty.before
wine cmd /c "start /b inject.exe inject.txt injected.txt & probe.exe keelmark.exe"
echo \$? >status.now
# Wine's console program hands the tty back on its own way out, which may
# come a moment after the game's.
wineserver -w
stty -g >stty.after
mv status.now status
EOF
  Tmux kill-session -t game >/dev/null 2>&1
  Tmux new-session -d -s game -x 80 -y 25 -e LANG=C.UTF-8 -e TERM=tmux-256color \
    -e "KEELMARK_VOICE_LOG=${KEELMARK_VOICE_LOG:-}" "bash $work/run.sh; sleep 600" ||
    { echo "tmux would not start" >&2; exit 2; }
}

# Inject COMMAND: a click, a double click or Ctrl+C as console input records
# (see console_input_injector.cpp); returns once they are in the input.
InjectorHasTaken() { (($(wc -l <"$work/injected.txt") >= injected)); }
Inject() {
  echo "$1;" >>"$work/inject.txt"
  injected=$((injected + 1))
  WaitUntil 10 InjectorHasTaken || Fail "the injector did not take '$1'"
}

# Said TEXT...: what the game is to say next, in order.
Said() { spoken+=("$@"); }

# ExpectClips NAME...: since the last check, the sound device got these
# clips, whole and in order. ExpectClipsOneOf "NAMES" "NAMES"...: one of these
# lists; sets matched to its index.
NewSoundIs() {
  cmp -s <(tail -c +$((heardUpTo + 1)) "$work/heard.raw" 2>/dev/null | WithoutSilence) "$1"
}
MatchNewSound() {
  local k
  for ((k = 0; k < $#; k++)); do
    NewSoundIs "$work/candidate$k.raw" && { matched=$k; return 0; }
  done
  return 1
}
ExpectClipsOneOf() {
  local k=0 list clip
  for list in "$@"; do
    for clip in $list; do cat "$work/clips/$clip.raw"; done | WithoutSilence >"$work/candidate$k.raw"
    k=$((k + 1))
  done
  matched=-1
  # Wine's sound thread may still be handing over the last samples.
  if WaitUntil 10 MatchNewSound "$@"; then
    local -a lists=("$@")
    for clip in ${lists[matched]}; do heardMilliseconds=$((heardMilliseconds + clipMilliseconds[$clip])); done
  else
    Fail "the sound device did not get $(printf '[%s] or ' "$@" | sed 's/ or $//') whole and in order" \
      "(got $(tail -c +$((heardUpTo + 1)) "$work/heard.raw" 2>/dev/null | WithoutSilence | wc -c) bytes)"
  fi
  heardUpTo=$(stat -c %s "$work/heard.raw" 2>/dev/null || echo 0)
}
ExpectClips() { ExpectClipsOneOf "$*"; }

# After the run: the status, the terminal and the console as they were.
ExpectCleanEnd() {
  local what=$1
  # The run ends when every Wine process has, the injector too.
  echo "end;" >>"$work/inject.txt"
  ProbeNote() { tr -d '\r' 2>/dev/null <"$work/console_state.txt" | sed -n "s/^$1 //p"; }
  WaitUntil 30 test -e "$work/status" || { Fail "$what: the game did not end"; return; }
  [[ $(cat "$work/status") == 0 ]] || Fail "$what: the probe ended with $(cat "$work/status")"
  cmp -s "$work/stty.before" "$work/stty.after" || Fail "$what: the terminal settings changed"
  [[ -f $work/console_state.txt ]] || { Fail "$what: the probe noted nothing"; return; }
  [[ $(ProbeNote status) == 0 ]] || Fail "$what: the game ended with status '$(ProbeNote status)'"
  local before
  before=$(ProbeNote before)
  [[ -n $before && $before == "$(ProbeNote after)" ]] || Fail "$what: the console was not handed back as it was"
}

# --- The player's fleet and shots -------------------------------------------

letters=ABCDEFGHIJ
declare -A shipLength=([D]=2 [S]=3 [R]=3 [B]=4 [C]=5)
declare -A fleetAt shipHits
# What the player knows of the computer's board, row by row from A1 (see
# choose_shot.awk), and the square whose shot was last heard to sink a ship.
board=$(printf '.%.0s' {1..100})
sankSquare=0

# Sets shotRow and shotColumn: where the computer's ships most likely are.
chooser=$(dirname "$0")/choose_shot.awk
ChooseShot() {
  local choice
  choice=$(awk -f "$chooser" <<<"$board $sankSquare") || { Fail "no shot chosen"; Finish; }
  read -r shotRow shotColumn board <<<"$choice"
  sankSquare=0
}

# MarkShot MARK: the last shot's square on the board as h (a hit) or o.
MarkShot() {
  local at=$(((shotRow - 1) * 10 + shotColumn - 1))
  board=${board:0:at}$1${board:at+1}
}

RoundOrEndShows() { RoundIsShown "$1" && TextIsAt 24 1 "coordinates:     " || TextIsAt 4 20 "Press any key to exit."; }

# --- The whole game ------------------------------------------------------------

PlayWholeGame() {
  StartWineGame
  WaitForText 3 1 "Press any key to continue." 60 || Finish
  LoadScreen
  local title=" Keelmark version 1.0-pre5" credit=" Written by the Keelmark crew, to be played by ear."
  ExpectText 1 1 "$title" 7
  ExpectText 2 1 "$credit" 7
  Said "$title$credit" "Press any key to continue."

  # A bare Enter: the fleet is placed by hand.
  Keys Enter
  Said ""
  WaitForText 15 1 "Enter coordinates for destroyer (2 squares)" 20 || Finish
  Said "Enter coordinates for destroyer (2 squares)"
  # The destroyer by two clicks on the board, each square spoken as picked
  # and then as the entry.
  Inject "click 1 1"
  Said "A 1" "A 1"
  WaitForText 1 1 "X" 10
  Inject "click 1 2"
  Said "A 2" "A 2"
  WaitForText 17 1 "Enter coordinates for submarine (3 squares) " 20 || Finish
  Said "Enter coordinates for submarine (3 squares) "
  # The submarine typed, one end at a time.
  TypeLine "c1"
  Said "c1"
  WaitForText 3 1 "X" 10
  TypeLine "c3"
  Said "c3"
  WaitForText 19 1 "Enter coordinates for cruiser (3 squares) " 20 || Finish
  Said "Enter coordinates for cruiser (3 squares) "
  # "auto" for the rest, but the attempt still takes a second entry: first
  # a square off the grid, refused with the buzzer alone, then the cruiser
  # as one text.
  TypeLine "auto"
  TypeLine "k1"
  Said "auto" "k1"
  ExpectClips BUZZER
  TypeLine "e1,e3"
  Said "e1,e3"

  # The home board: the ships placed by hand where they were put, and the
  # whole fleet.
  AwaitPrompt 1
  LoadScreen
  local row column glyph fleet=""
  for square in 13,1,D 13,2,D 15,1,S 15,2,S 15,3,S 17,1,R 17,2,R 17,3,R; do
    IFS=, read -r row column glyph <<<"$square"
    ExpectCell "$row" "$column" "$glyph" 2
  done
  for ((row = 1; row <= 10; row++)); do
    for ((column = 1; column <= 10; column++)); do
      glyph=${cellGlyph[$((row + 12)),$column]:-}
      [[ $glyph == [DSRBC] ]] && fleetAt[$row,$column]=$glyph && fleet+=$glyph
    done
  done
  fleet=$(grep -o . <<<"$fleet" | sort | tr -d '\n')
  [[ $fleet == BBBBCCCCCDDRRRSSS ]] || { Fail "the home board holds the fleet '$fleet'"; Finish; }

  local round=0 playerSank=0 computerSank=0 playerHits=0 computerHits=0 letter shot playerClips computerClips spokenSquare
  while true; do
    round=$((round + 1))
    AwaitPrompt "$round"
    Said "round  $round" "Coordinates?"
    ChooseShot
    letter=${letters:shotRow-1:1}
    spokenSquare="$letter $shotColumn"
    if ((round == 1)); then
      # Ctrl+C as the console's control event, which the game answers as
      # handled, and then as a key, which an entry leaves out.
      Keys C-c
      Inject "ctrl-c"
      TypeLine "${letter,,}$shotColumn"
      Said "${letter,,}$shotColumn"
    elif ((round == 2)); then
      # The second press of a double click is not a click of its own.
      Inject "double $shotRow $shotColumn"
      Said "$spokenSquare" "$spokenSquare"
    elif ((round % 2 || playerHits == 16 || computerHits == 16)); then
      # Typed, also where this round may end the game: a click's release
      # would be the key that the report waits for, and end the game at once.
      TypeLine "${letter,,}$shotColumn"
      Said "${letter,,}$shotColumn"
    else
      Inject "click $shotRow $shotColumn"
      Said "$spokenSquare" "$spokenSquare"
    fi
    WaitUntil 60 RoundOrEndShows $((round + 1)) || { Fail "round $round did not end"; Finish; }
    # Wine's console may still be drawing the rest of the screen on a busy
    # machine.
    WaitUntil 5 ScreenIsSteady
    LoadScreen
    ReadShot "$shotRow" "$shotColumn" || { Fail "the shot at $spokenSquare is marked $shot"; Finish; }
    if [[ $shot == HIT ]]; then
      MarkShot h
      playerHits=$((playerHits + 1))
    else
      MarkShot o
    fi
    playerClips="DROP $shot"

    # The computer fires unless the player has just sunk its last ship.
    computerClips=""
    if ! TextIsAt 25 1 "You win!!!"; then
      WaitUntil 5 ReadComputerSquare || { Fail "no square after 'computer chooses: ' ('$computerText')"; Finish; }
      Said "Computer chooses: $(sed 's/ *$//' <<<"$computerText")"
      ReadShot "$computerRow" "$computerColumn" || { Fail "the computer's shot at $computerSquare is marked $shot"; Finish; }
      computerClips="DROP $shot"
      if [[ $shot == HIT ]]; then
        computerHits=$((computerHits + 1))
        glyph=${fleetAt[$((computerRow - 12)),$computerColumn]}
        shipHits[$glyph]=$((${shipHits[$glyph]:-0} + 1))
        if ((shipHits[$glyph] == shipLength[$glyph])); then
          computerClips+=" SINK"
          computerSank=$((computerSank + 1))
        fi
      fi
    fi
    # Whether the player's hit sank a ship is heard, not seen.
    if [[ $playerClips == *HIT ]]; then
      ExpectClipsOneOf "$playerClips $computerClips" "$playerClips SINK $computerClips"
      ((matched == 1)) && playerSank=$((playerSank + 1)) && sankSquare=$(((shotRow - 1) * 10 + shotColumn))
    else
      ExpectClips "$playerClips $computerClips"
    fi
    TextIsAt 4 20 "Press any key to exit." && break
    ((round < 100)) || { Fail "no end after 100 rounds"; Finish; }
  done

  Said "Game over."
  if TextIsAt 25 1 "You win!!!"; then
    ((playerSank == 5)) || Fail "the player won, having been heard to sink $playerSank ships"
    Said "You win!!"
  else
    ((computerSank == 5)) || Fail "the computer won, having sunk $computerSank of the player's ships"
    Said "Computer wins!"
  fi
  Said "Computer sank  $computerSank of your ships." "You sank  $playerSank of the computer's ships." \
    "The game lasted  $round rounds." "Press any key to exit."
  LoadScreen
  ExpectText 24 1 "Game over." 14
  ExpectText 3 20 "The game lasted " 3 8
  Keys Enter
  ExpectCleanEnd "the whole game"
  CheckVoiceLog "the whole game"
  # Nothing more: the end makes no sound.
  ExpectClips
  Note "a whole game of $round rounds, the player sinking $playerSank ships and the computer $computerSank," \
    "in $((SECONDS - gameStarted)) s, with $((heardMilliseconds / 1000)) s of clips"
}

# --- "quit" after a text that is not markup -------------------------------------

PlayToQuit() {
  StartWineGame
  WaitForText 3 1 "Press any key to continue." 60 || Finish
  Said " Keelmark version 1.0-pre5 Written by the Keelmark crew, to be played by ear." "Press any key to continue."
  # Said as typed, the letter beyond ASCII too, and then refused: it names
  # no square.
  TypeLine "<b>é"
  Said "<b>é"
  ExpectClips BUZZER
  TypeLine "quit"
  Said "quit"
  ExpectCleanEnd "\"quit\""
  # "quit" makes no sound and leaves the screen as it was.
  ExpectClips
  LoadScreen
  ExpectText 3 1 "Press any key to continue." 7
}

if ((control)); then
  PlayToQuit
  failuresBefore=$failures
  CheckVoiceLog "Wine's own voice" 2>"$work/control.txt"
  if ((failures > failuresBefore)); then
    failures=$failuresBefore
    sed 's/^FAIL: /-- noticed, as it must be: /' "$work/control.txt"
  else
    Fail "the voice checks passed with Wine's own voice"
  fi
else
  gameStarted=$SECONDS
  PlayWholeGame
  PlayToQuit
  CheckVoiceLog "\"quit\""
fi
Note "took $((SECONDS - started)) s"
Finish
