#!/usr/bin/env bash
# Without a terminal to play on, or on a terminal that cannot place the
# cursor, the game says why in one line and ends with status 1, writing no
# escape codes into a file or pipe and leaving the terminal as it was.

source "$(dirname "$0")/harness.sh" "$1"

# ExpectOneLineOfReason FILE WHAT [STATUS]: one line, starting with the
# game's name, and not one escape byte; the game's status, when given, is 1.
ExpectOneLineOfReason() {
  local file=$1 what=$2
  [[ ${3:-1} == 1 ]] || Fail "$what: status $3, expected 1"
  [[ $(wc -l <"$file") == 1 ]] || Fail "$what: expected one line, got: $(cat -v "$file")"
  [[ $(head -n 1 "$file") == keelmark:* ]] || Fail "$what: the line does not say who speaks: $(cat -v "$file")"
  ! grep -q $'\e' "$file" || Fail "$what: escape codes were written: $(cat -v "$file")"
}

Note "no controlling terminal, input and output redirected"
setsid -w env $silentEnvironment "$game" </dev/null >"$work/out" 2>&1
ExpectOneLineOfReason "$work/out" "no terminal" $?

Note "no controlling terminal, output into a pipe"
setsid -w env $silentEnvironment "$game" </dev/null 2>&1 | cat >"$work/piped"
ExpectOneLineOfReason "$work/piped" "no terminal, piped" "${PIPESTATUS[0]}"

StartTerminal 80 25

for terminalType in dumb no-such-terminal; do
  Note "TERM=$terminalType"
  gameEnvironment="TERM=$terminalType"
  StartGame "2>reason"
  if ExpectGameEnd 1 "TERM=$terminalType"; then
    ExpectOneLineOfReason "$work/reason" "TERM=$terminalType"
    [[ $(cat "$work/reason") == *"$terminalType"* ]] || Fail "TERM=$terminalType: the reason does not name it"
  fi
done

# With a terminal, output redirected to a file: the game plays on the
# terminal and the file stays empty.
Note "standard output into a file"
gameEnvironment=""
StartGame ">redirected"
WaitForText 3 1 "Press any key to continue."
QuitAndExpectCleanExit "\"quit\" with standard output redirected"
[[ ! -s $work/redirected ]] || Fail "the game wrote into its redirected output: $(head -c 80 "$work/redirected" | cat -v)"

Finish
