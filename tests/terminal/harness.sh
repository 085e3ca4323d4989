# Sourced by every test that plays the real binary in a private tmux server
# (the terminal, audio, package and Wine tests):
#   source harness.sh "$game_binary"; StartTerminal 80 25; ...; Finish

set -u
export LANG=C.UTF-8 LC_ALL=C.UTF-8
# A test run from inside tmux still talks only to its own server.
unset TMUX

game="$1"
[[ -x $game ]] || { echo "no game binary at '$game'" >&2; exit 2; }
game=$(readlink -f "$game")

socket="keelmark-test-$$-$RANDOM"
work=$(mktemp -d "${TMPDIR:-/tmp}/keelmark-terminal.XXXXXX")
# A test that counted failures before it sourced this goes on counting.
failures=${failures:-0}
gameIsJob=0

Tmux() { tmux -L "$socket" -f /dev/null "$@"; }

# A run cut short (Ctrl+C, a ctest timeout, a closed terminal) must not
# leave its game or its tmux server behind: the game is ended by its own
# process id, the private server by its socket.
Cleanup() {
  local pid
  pid=$(cat "$work/game.pid" 2>/dev/null)
  [[ -n $pid ]] && kill -KILL "$pid" 2>/dev/null
  Tmux kill-server >/dev/null 2>&1
  rm -f "${TMUX_TMPDIR:-/tmp}/tmux-$(id -u)/$socket"
  rm -rf "$work"
}
trap Cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

Fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

Note() { echo "-- $*"; }

Finish() {
  if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    Tmux capture-pane -p -N >"$work/last-screen.txt" 2>/dev/null &&
      { echo "screen at the end:" >&2; sed 's/^/| /' "$work/last-screen.txt" >&2; }
    exit 1
  fi
  echo "all checks passed"
  exit 0
}

# StartTerminal WIDTH HEIGHT [TERMINAL-TYPE]: a window with a shell in it.
StartTerminal() {
  local width=$1 height=$2 terminalType=${3:-tmux-256color}
  Tmux start-server \; set -g default-terminal "$terminalType" \; \
    new-session -d -s game -x "$width" -y "$height" -e LANG=C.UTF-8 -e LC_ALL=C.UTF-8 \
    "env PS1='shell> ' bash --norc --noprofile -i" || { echo "tmux would not start" >&2; exit 2; }
  WaitUntil 10 ScreenShows "shell>" || { echo "the shell in tmux did not start" >&2; exit 2; }
  # A terminal type without an alternate screen (vt220) keeps the game's
  # last screen in place when the game ends; there is no shell screen to
  # come back.
  terminalHasAlternateScreen=0
  infocmp -1 "$terminalType" 2>/dev/null | grep -q 'smcup=' && terminalHasAlternateScreen=1
}

ScreenShows() { [[ $(Tmux capture-pane -p -t game) == *"$1"* ]]; }

# What the shell notes in the work folder around a game: the terminal
# settings before and after, the game's exit status, and that it has ended.
beforeGame="clear; cd $work; ulimit -c 0; stty -g >stty.before; echo 'shell screen before the game'"
afterGame="echo \$? >status; stty -g >stty.after; echo 'the game has ended'; : >finished"

# Runs the game from a script in the pane. An argument is a redirection for
# the game, such as "</dev/null"; settings in gameEnvironment ("LANG=C") go
# into the game's environment.
gameEnvironment=""
# These tests look at the screen alone, so the game runs silently and at
# full speed: no sound device for SDL, and a speech-dispatcher address where
# nothing listens, with a start command that starts nothing there. Tests that
# listen set this empty.
silentEnvironment="SDL_AUDIODRIVER=none SPEECHD_ADDRESS=unix_socket:$work/no-speech-server SPEECHD_CMD=/bin/false"
ForgetLastGame() { rm -f "$work/status" "$work/stty.before" "$work/stty.after" "$work/game.pid" "$work/finished"; }
StartGame() {
  local redirection=${1:-}
  ForgetLastGame
  gameIsJob=0
  cat >"$work/run.sh" <<EOF
$beforeGame
# The game takes over this subshell's process, so its id is known and it is
# still the terminal's foreground process, with its own signal dispositions.
( echo \$BASHPID >game.pid; exec env $silentEnvironment $gameEnvironment "$game" $redirection )
$afterGame
EOF
  Tmux send-keys -t game "bash $work/run.sh" Enter
  WaitUntil 10 test -s "$work/game.pid" || Fail "the game did not start"
}

GamePid() { cat "$work/game.pid"; }
GameIsRunning() { kill -0 "$(GamePid)" 2>/dev/null; }

# "auto" at the title, once it shows: the game waits for the first shot.
AutoAtTitle() {
  WaitForText 3 1 "Press any key to continue." || return 1
  TypeLine "auto"
  WaitForText 24 1 "coordinates: "
}

# Enter at the title, once it shows: the game asks where the destroyer goes.
PlaceByHandAtTitle() {
  WaitForText 3 1 "Press any key to continue." || return 1
  Keys Enter
  WaitForText 15 1 "Enter coordinates for destroyer (2 squares)"
}

# ResizeWindow WIDTH HEIGHT: returns once tmux has the new size.
ResizeWindow() {
  Tmux resize-window -t game -x "$1" -y "$2"
  WaitUntil 5 test "$(Tmux display -p -t game '#{window_width}x#{window_height}')" = "$1x$2" ||
    Fail "the window did not become $1x$2"
}

TargetSquareIsMarked() { [[ $(TextAt "$1" "$2" 1) == [0o] ]]; }

RoundIsShown() { [[ $(TextAt 1 60 14) =~ ^Round\ +$1\ *$ ]]; }

# AwaitPrompt ROUND: the round is shown and its entry field is empty again;
# the test ends here when either never comes.
AwaitPrompt() {
  WaitUntil 40 RoundIsShown "$1" || { Fail "round $1 never showed"; Finish; }
  WaitUntil 40 TextIsAt 24 1 "coordinates:     " || { Fail "the prompt of round $1 never came back"; Finish; }
}

# The game typed at the shell's prompt as a command of its own, so that it is
# the shell's foreground job: stopped, it hands the terminal back to the
# shell, and "fg" gives it back. WaitForGameEnd types the shell's notes
# after it once the game has ended.
StartGameAsJob() {
  ForgetLastGame
  gameIsJob=1
  local panePid
  panePid=$(Tmux display -p -t game '#{pane_pid}')
  Tmux send-keys -t game "$beforeGame" Enter
  WaitUntil 5 test -s "$work/stty.before" || Fail "the shell did not note its settings"
  Tmux send-keys -t game "env $silentEnvironment $gameEnvironment $game" Enter
  WaitUntil 10 FindJobPid "$panePid" || Fail "the game did not start"
}

FindJobPid() {
  local pid
  pid=$(pgrep -P "$1" 2>/dev/null | head -n 1)
  [[ -n $pid && $(readlink "/proc/$pid/exe" 2>/dev/null) == "$game" ]] || return 1
  echo "$pid" >"$work/game.pid"
}

GameProcessIsGone() { ! GameIsRunning; }

WaitForGameEnd() {
  if ((gameIsJob)); then
    WaitUntil 10 GameProcessIsGone || { Fail "the game did not end"; return 1; }
    Tmux send-keys -t game "$afterGame" Enter
  fi
  WaitUntil 10 test -e "$work/finished" || { Fail "the game did not end"; return 1; }
}

# WaitUntil SECONDS COMMAND...: polls the command until it succeeds, every
# $pollInterval seconds (a twentieth unless the caller says otherwise).
WaitUntil() {
  local deadline=$((SECONDS + $1))
  shift
  while true; do
    "$@" && return 0
    ((SECONDS >= deadline)) && return 1
    sleep "${pollInterval:-0.05}"
  done
}

# True when the screen has not changed for a tenth of a second: the game has
# finished drawing what it was drawing.
ScreenIsSteady() {
  local before after
  before=$(Tmux capture-pane -p -e -N -t game)
  sleep 0.1
  after=$(Tmux capture-pane -p -e -N -t game)
  [[ $before == "$after" ]]
}

RowText() { Tmux capture-pane -p -N -t game | sed -n "${1}p"; }

# TextAt ROW COLUMN LENGTH. Cells never written (Wine's console leaves them
# so) read as blanks.
TextAt() {
  local line
  line=$(RowText "$1")$(printf '%*s' $(($2 + $3)) '')
  printf '%s' "${line:$(($2 - 1)):$3}"
}

TextIsAt() { [[ $(TextAt "$1" "$2" "${#3}") == "$3" ]]; }

# The square the computer named on row 25 ("computer chooses: B 7"), as the
# home board's screen row and column: sets computerText (what stands there),
# computerSquare ("B7"), computerRow and computerColumn; false when no square
# stands there.
ReadComputerSquare() {
  computerText=$(TextAt 25 43 6)
  [[ $computerText =~ ^([A-J])\ ([0-9]+) ]] || return 1
  computerSquare=${BASH_REMATCH[1]}${BASH_REMATCH[2]}
  computerColumn=${BASH_REMATCH[2]}
  computerRow=$(($(printf '%d' "'${BASH_REMATCH[1]}") - 64 + 12))
}

# ReadShot ROW COLUMN, after LoadScreen: the shot marked at that square of
# the screen, as the clip that told it: on the target board a red "0" is a
# MISS and a blue "o" a HIT, on the home board a light red "0" and a light
# blue "O". Sets shot; false, with shot telling what stands there, when no
# shot's mark does.
ReadShot() {
  local mark="${cellGlyph[$1,$2]:-}${cellForeground[$1,$2]:-} on ${cellBackground[$1,$2]:-}"
  local miss=04 hit=o1
  (($1 > 12)) && miss=012 hit=O9
  case $mark in
    "$miss on 0") shot=MISS ;;
    "$hit on 0") shot=HIT ;;
    *) shot="'$mark'"; return 1 ;;
  esac
}

# WaitForText ROW COLUMN TEXT [SECONDS]: fails the test when it never shows.
WaitForText() {
  WaitUntil "${4:-10}" TextIsAt "$1" "$2" "$3" && return 0
  Fail "expected '$3' at row $1, column $2, found '$(TextAt "$1" "$2" "${#3}")'"
  return 1
}

# Typing: literal text, then named keys.
Type() { Tmux send-keys -t game -l "$1"; }
Keys() { Tmux send-keys -t game "$@"; }
TypeLine() { Type "$1"; Keys Enter; }

# A click as an xterm terminal reports it: the press and the release, sent
# together as a quick click arrives. The game asks for the reports by
# terminal type: the SGR form (ESC [ < code ; column ; row, then M for a
# press or m for a release) when it turned that mode on, otherwise the X10
# form (ESC [ M, then 32 + code, 32 + column, 32 + row; a release has code
# 3). Button codes: 0 left, 1 middle, 2 right. Rows and columns count from 1.
Click() {
  local code=$1 row=$2 column=$3
  if [[ $(Tmux display -p -t game '#{mouse_sgr_flag}') == 1 ]]; then
    local report=$'\e'"[<$code;$column;$row"
    Tmux send-keys -t game -l "${report}M${report}m"
  else
    local x y
    x=$(printf '%x' $((32 + column)))
    y=$(printf '%x' $((32 + row)))
    Tmux send-keys -t game -H 1b 5b 4d "$(printf '%x' $((32 + code)))" "$x" "$y" 1b 5b 4d 23 "$x" "$y"
  fi
}
LeftClick() { Click 0 "$1" "$2"; }
RightClick() { Click 2 "$1" "$2"; }

# --- Cells with colours --------------------------------------------------
#
# LoadScreen parses capture-pane -e into cellGlyph, cellForeground and
# cellBackground, keyed "row,column", colours as console numbers (blue 1,
# green 2, red 4, intensity 8; ANSI counts red 1, green 2, blue 4), "d" for
# the terminal's default, or "x" and the number of a colour beyond the
# sixteen. A bold foreground of the first eight colours counts as its
# intense form: that is how an eight-colour terminal shows intensity.

declare -A cellGlyph cellForeground cellBackground
declare -A consoleColourOfAnsi=([d]=d [0]=0 [1]=4 [2]=2 [3]=6 [4]=1 [5]=5 [6]=3 [7]=7
  [8]=8 [9]=12 [10]=10 [11]=14 [12]=9 [13]=13 [14]=11 [15]=15)

# What the terminal's own default colours stand for, as ANSI numbers: "d",
# unknown, unless the test knows its terminal (Wine's console draws its
# light grey on black as the default).
defaultForeground=d
defaultBackground=d

ApplySgr() {
  local -a parts
  IFS=';' read -r -a parts <<<"$1"
  ((${#parts[@]} == 0)) && parts=(0)
  local k=0 p
  while ((k < ${#parts[@]})); do
    p=${parts[k]:-0}
    case $p in
      0) sgrForeground=$defaultForeground; sgrBackground=$defaultBackground; sgrBold=0 ;;
      1) sgrBold=1 ;;
      22) sgrBold=0 ;;
      3[0-7]) sgrForeground=$((p - 30)) ;;
      39) sgrForeground=$defaultForeground ;;
      4[0-7]) sgrBackground=$((p - 40)) ;;
      49) sgrBackground=$defaultBackground ;;
      9[0-7]) sgrForeground=$((p - 90 + 8)) ;;
      10[0-7]) sgrBackground=$((p - 100 + 8)) ;;
      38 | 48)
        if [[ ${parts[k + 1]:-} == 5 ]]; then
          [[ $p == 38 ]] && sgrForeground=${parts[k + 2]} || sgrBackground=${parts[k + 2]}
          k=$((k + 2))
        fi
        ;;
    esac
    k=$((k + 1))
  done
}

LoadScreen() {
  cellGlyph=() cellForeground=() cellBackground=()
  sgrForeground=$defaultForeground sgrBackground=$defaultBackground sgrBold=0
  local capture line row=0 column glyph foreground position
  local sgrPattern=$'^\e\\[([0-9;]*)m'
  capture=$(Tmux capture-pane -p -e -N -t game)
  while IFS= read -r line; do
    row=$((row + 1))
    column=0
    position=0
    while ((position < ${#line})); do
      glyph=${line:position:1}
      if [[ $glyph == $'\e' ]]; then
        if [[ ${line:position:24} =~ $sgrPattern ]]; then
          ApplySgr "${BASH_REMATCH[1]}"
          position=$((position + ${#BASH_REMATCH[0]}))
        else
          # Any other sequence (a character set) takes no cell.
          position=$((position + 2))
        fi
        continue
      fi
      position=$((position + 1))
      column=$((column + 1))
      foreground=$sgrForeground
      if [[ $foreground != d ]] && ((sgrBold && foreground < 8)); then
        foreground=$((foreground + 8))
      fi
      cellGlyph[$row,$column]=$glyph
      cellForeground[$row,$column]=${consoleColourOfAnsi[$foreground]:-x$foreground}
      cellBackground[$row,$column]=${consoleColourOfAnsi[$sgrBackground]:-x$sgrBackground}
    done
  done <<<"$capture"
}

# ExpectCell ROW COLUMN GLYPH FOREGROUND [BACKGROUND], after LoadScreen.
# A blank shows no foreground, so only its background counts. A terminal
# that erases with the background colour leaves erased cells out of the
# capture altogether; such a cell can only be taken as a blank.
ExpectCell() {
  local key="$1,$2" background=${5:-0}
  if [[ $3 == " " ]]; then
    [[ -v cellGlyph[$key] ]] || return 0
    local seen="'${cellGlyph[$key]}' on ${cellBackground[$key]}"
    [[ $seen == "' ' on $background" ]] ||
      Fail "row $1, column $2: expected a blank on $background, found $seen"
    return
  fi
  local seen="'${cellGlyph[$key]:-}' ${cellForeground[$key]:-?} on ${cellBackground[$key]:-?}"
  local wanted="'$3' $4 on $background"
  [[ $seen == "$wanted" ]] || Fail "row $1, column $2: expected $wanted, found $seen"
}

# ExpectText ROW COLUMN TEXT FOREGROUND [BACKGROUND], after LoadScreen.
ExpectText() {
  local text=$3 k
  for ((k = 0; k < ${#text}; k++)); do
    ExpectCell "$1" $(($2 + k)) "${text:k:1}" "$4" "${5:-0}"
  done
}

# After LoadScreen: both boards' row letters and column numbers in light
# grey, where a click expects them.
ExpectBoardLabels() {
  local row letters=ABCDEFGHIJ
  for ((row = 1; row <= 10; row++)); do
    ExpectCell "$row" 15 "${letters:row-1:1}" 7
    ExpectCell $((row + 12)) 15 "${letters:row-1:1}" 7
  done
  ExpectText 11 1 "1234567890" 7
  ExpectText 23 1 "1234567890" 7
}

# After LoadScreen, on the play screen before the first shot: both boards
# with their labels, the target board all unknown water, and round 1, in
# light grey; the home board shows the whole fleet, ship letters in green on
# the grey "X" of water.
ExpectBoardsOfRoundOne() {
  local row column glyph fleet=""
  ExpectBoardLabels
  for ((row = 1; row <= 10; row++)); do
    ExpectText "$row" 1 "xxxxxxxxxx    " 7
    for ((column = 1; column <= 10; column++)); do
      glyph=${cellGlyph[$((row + 12)),$column]:-}
      case $glyph in
        X) ExpectCell $((row + 12)) "$column" X 7 ;;
        [DSRBC]) ExpectCell $((row + 12)) "$column" "$glyph" 2; fleet+=$glyph ;;
        *) Fail "home board row $((row + 12)), column $column shows '$glyph'" ;;
      esac
    done
  done
  ExpectText 1 60 "Round       1 " 7
  fleet=$(grep -o . <<<"$fleet" | sort | tr -d '\n')
  [[ $fleet == BBBBCCCCCDDRRRSSS ]] || Fail "the home board holds the fleet '$fleet'"
}

# ExpectGameEnd STATUS WHAT: the game ends with that status and gives the
# shell its terminal as it found it: same settings, the shell's screen back,
# no mouse reporting, no keypad mode, a cursor; false when it did not end.
ExpectGameEnd() {
  local what=$2 flags screen
  WaitForGameEnd || return 1
  [[ $(cat "$work/status") == "$1" ]] || Fail "$what: the game ended with status $(cat "$work/status"), expected $1"
  if [[ ! -s $work/stty.before || ! -s $work/stty.after ]]; then
    Fail "$what: the terminal settings were not noted"
  elif ! cmp -s "$work/stty.before" "$work/stty.after"; then
    Fail "$what: terminal settings changed: $(cat "$work/stty.before") -> $(cat "$work/stty.after")"
  fi
  # Once the script's last words are on the screen, tmux has read all that
  # the game wrote before them.
  WaitUntil 5 ScreenShows "the game has ended" || Fail "$what: the script did not finish"
  flags=$(Tmux display -p -t game \
    'alternate=#{alternate_on} mouse=#{mouse_any_flag} keypad=#{keypad_flag} cursorkeys=#{keypad_cursor_flag} cursor=#{cursor_flag}')
  [[ $flags == "alternate=0 mouse=0 keypad=0 cursorkeys=0 cursor=1" ]] ||
    Fail "$what: terminal left as $flags"
  ((terminalHasAlternateScreen)) || return 0
  screen=$(Tmux capture-pane -p -t game)
  [[ $screen == *"before the game"*"the game has ended"* ]] ||
    Fail "$what: the shell's screen did not come back"
  [[ $screen != *Keelmark* ]] || Fail "$what: the game's screen is still showing"
}

# $1 names the case in failure messages.
QuitAndExpectCleanExit() {
  TypeLine "quit"
  ExpectGameEnd 0 "${1:-after \"quit\"}"
}

# --- Whole screens -------------------------------------------------------
#
# ExpectScreen NAME, once the game has finished drawing, compares the whole
# screen with the committed screens/NAME.txt and shows a diff when they
# differ. The file has three blocks, the text, the foreground colours and the
# background colours, each colour as a hex digit of the console colour ("."
# for a blank, whose foreground does not show; "-" for the terminal's
# default). A row stands as "NN|" and its content, trailing blanks and black
# backgrounds left off; rows left with nothing, and blocks left with no rows,
# are not written, so a change anywhere on the screen still shows.
# KEELMARK_WRITE_SCREENS=1 writes the files instead, for a new or changed
# screen; look at them before committing.

screensDir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/screens"

declare -A colourDigit=([d]=-)
for colour in {0..15}; do printf -v "colourDigit[$colour]" '%x' "$colour"; done

ScreenMap() {
  LoadScreen
  local height width row column key glyph text fore back number
  local textRows="" foreRows="" backRows=""
  height=$(Tmux display -p -t game '#{pane_height}')
  width=$(Tmux display -p -t game '#{pane_width}')
  for ((row = 1; row <= height; row++)); do
    text="" fore="" back=""
    for ((column = 1; column <= width; column++)); do
      key="$row,$column"
      # A cell left out of the capture is a blank on black.
      glyph=${cellGlyph[$key]:- }
      text+=$glyph
      [[ $glyph == " " ]] && fore+=. || fore+=${colourDigit[${cellForeground[$key]}]:-?}
      back+=${colourDigit[${cellBackground[$key]:-0}]:-?}
    done
    printf -v number '%02d|' "$row"
    text=${text%"${text##*[! ]}"}
    fore=${fore%"${fore##*[!.]}"}
    back=${back%"${back##*[!0]}"}
    [[ -n $text ]] && textRows+=$number$text$'\n'
    [[ -n $fore ]] && foreRows+=$number$fore$'\n'
    [[ -n $back ]] && backRows+=$number$back$'\n'
  done
  [[ -n $textRows ]] && printf '# text\n%s' "$textRows"
  [[ -n $foreRows ]] && printf '# foreground\n%s' "$foreRows"
  [[ -n $backRows ]] && printf '# background\n%s' "$backRows"
  return 0
}

ExpectScreen() {
  local name=$1 expected="$screensDir/$1.txt" actual
  WaitUntil 5 ScreenIsSteady
  actual=$(ScreenMap)
  if [[ ${KEELMARK_WRITE_SCREENS:-0} == 1 ]]; then
    mkdir -p "$screensDir"
    printf '%s\n' "$actual" >"$expected"
    Note "wrote $expected"
    return
  fi
  [[ -f $expected ]] || { Fail "no expected screen $expected (KEELMARK_WRITE_SCREENS=1 writes it)"; return; }
  local difference
  if ! difference=$(diff -u --label "expected $name" --label "on the screen" "$expected" <(printf '%s\n' "$actual")); then
    Fail "the screen differs from $name:
$difference"
  fi
}
