# Sourced by the tests that run the Windows build under Wine, after
# tests/terminal/harness.sh (which makes $work):
#   MakeWinePrefix                   a private prefix in $work, sound to a file
#   RegisterRecordingVoice DLL LOG   the tests' voice as "SAPI.SpVoice"
#   HeardSound                       the file the sound device has written
#   CheckVoiceLog WHAT               the voice's log against "${spoken[@]}"

# A private prefix in the work folder, with no PulseAudio driver and, as its
# ALSA sound card, a device that writes every sample it is given to
# $work/heard.raw and plays nothing: Wine hands the clips' samples over
# unchanged, so the file holds exactly the clips played, in order. Its server
# goes when the work folder does. The prefix is a copy of the one made once
# where KEELMARK_WINE_PREFIX_TEMPLATE names (the build's tests do), or in
# the work folder (make_wine_prefix.sh), with its own server all the same.
MakeWinePrefix() {
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
  trap 'wineserver -k >/dev/null 2>&1; Cleanup' EXIT
  local started=$SECONDS
  bash "$(dirname "${BASH_SOURCE[0]}")/make_wine_prefix.sh" \
    "${KEELMARK_WINE_PREFIX_TEMPLATE:-$work/prefix-template}" "$WINEPREFIX" >&2 ||
    { echo "Wine would not make its prefix" >&2; exit 2; }
  Note "Wine prefix ready in $((SECONDS - started)) s"
}

HeardSound() { printf '%s' "$work/heard.raw"; }

# The class that "SAPI.SpVoice" names is served by the DLL instead of Wine's
# own voice, whose Speak only fails; a file name that is not one of Wine's
# needs no DLL override. The voice writes down what it hears in LOG (a
# Unix path). The game's thread is a single-threaded apartment.
RegisterRecordingVoice() {
  local dll=$1 log=$2 folder=$WINEPREFIX/drive_c/keelmark_tests class
  mkdir -p "$folder"
  cp "$dll" "$folder/recording_voice.dll"
  class=$(wine reg query 'HKCR\SAPI.SpVoice\CLSID' /ve 2>/dev/null | tr -d '\r' | grep -o '{[-0-9A-Fa-f]*}')
  [[ $class == "{96749377-3391-11D2-9EE3-00C04F797396}" ]] ||
    { echo "\"SAPI.SpVoice\" names the class '$class' in the prefix" >&2; exit 2; }
  printf '%s\r\n' 'REGEDIT4' '' \
    "[HKEY_CLASSES_ROOT\\CLSID\\$class\\InprocServer32]" \
    '@="C:\\keelmark_tests\\recording_voice.dll"' \
    '"ThreadingModel"="Apartment"' >"$folder/voice.reg"
  wine regedit /s 'C:\keelmark_tests\voice.reg' && wineserver -w ||
    { echo "the recording voice could not be registered" >&2; exit 2; }
  # The voice opens its log with the C library, which takes a Windows path.
  export KEELMARK_VOICE_LOG="Z:$log"
}

# CheckVoiceLog WHAT: the voice's log ($work/voice.log) against the texts the
# game was to say, in the array spoken (see recording_voice.cpp for the
# lines).
CheckVoiceLog() {
  local what=$1 log=$work/voice.log
  [[ -s $log ]] || { Fail "$what: the voice heard nothing"; return; }
  local -a made
  mapfile -t made < <(sed -n 's/^made //p' "$log")
  ((${#made[@]} == 1)) || { Fail "$what: ${#made[@]} voices were made"; return; }
  local thread=${made[0]% *} apartment=${made[0]#* }
  # The thread's apartment as APTTYPE: the first single-threaded apartment
  # of a process is its main one (3).
  [[ $apartment == [03] ]] || Fail "$what: the voice was made in apartment type $apartment, not single-threaded"
  [[ $(head -n 1 "$log") == made* ]] || Fail "$what: the voice was used before it was made"
  [[ $(grep -c '^released$' "$log") == 1 ]] || Fail "$what: the voice was released $(grep -c '^released$' "$log") times"
  [[ $(tail -n 1 "$log") == released ]] || Fail "$what: the voice was used after its release"
  grep -q '^slot' "$log" && Fail "$what: the game called other methods of the voice: $(grep '^slot' "$log" | sort | uniq -c | tr -s ' \n' ' ')"
  # Every text on the game's thread, as plain text (SPF_IS_NOT_XML), paced:
  # each begins only after the voice has had its time for the one before.
  local awkCheck
  awkCheck=$(awk -v thread="$thread" '
    $1 != "speak" { next }
    $3 != "10" { printf "text %d passed with flags %s; ", NR, $3 }
    $4 != thread { printf "text %d spoken on thread %s; ", NR, $4 }
    seen && $2 + 20 < at + 3 * length(text) { printf "text %d began %d ms after the one before; ", NR, $2 - at }
    { seen = 1; at = $2; text = $0; sub(/^speak [0-9]+ [0-9a-f]+ [0-9]+ /, "", text) }' "$log")
  [[ -z $awkCheck ]] || Fail "$what: $awkCheck"
  local difference
  difference=$(diff -u --label "to be spoken" --label "spoken" <(printf '%s\n' "${spoken[@]}") \
    <(sed -n -E 's/^speak [0-9]+ [0-9a-f]+ [0-9]+ (.*)$/\1/p' "$log")) ||
    Fail "$what: the voice was not given exactly the game's texts:
$difference"
}
