#!/usr/bin/env bash
# The game as a Debian user gets it: build the .deb, have lintian check it,
# install it with apt (which must find every library it names), play the
# installed game in a real terminal to the title and "quit", and remove it
# again.
#
# Usage: installed_game_test.sh BUILD_DIR
# Needs root (or sudo without a password); it changes the machine's packages
# and leaves them as it found them.

set -u
here=$(cd "$(dirname "$0")" && pwd)
buildDir=$(readlink -f "${1:?usage: installed_game_test.sh BUILD_DIR}")
asRoot=()
[[ $(id -u) -eq 0 ]] || asRoot=(sudo -n)

IsInstalled() { dpkg-query -W -f='${Status}' keelmark 2>/dev/null | grep -q 'install ok installed'; }
IsInstalled && { echo "keelmark is already installed here; not touching it" >&2; exit 2; }

packageDir=$(mktemp -d "${TMPDIR:-/tmp}/keelmark-package.XXXXXX")
Remove() {
  "${asRoot[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq keelmark >/dev/null 2>&1
  rm -rf "$packageDir"
}
trap Remove EXIT

(cd "$buildDir" && cpack -G DEB -B "$packageDir" >"$packageDir/cpack.log" 2>&1) ||
  { cat "$packageDir/cpack.log" >&2; echo "FAIL: cpack could not build the package" >&2; exit 1; }
package=$(ls "$packageDir"/keelmark_*.deb 2>/dev/null | head -n 1)
[[ -n $package ]] || { echo "FAIL: cpack made no .deb" >&2; exit 1; }

failures=0
Fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

dpkg-deb -f "$package" Version Depends Recommends Section | sed 's/^/   /'

# Debian's own checker must find nothing it calls an error or a warning; its
# notes ("I:") are shown but allowed. (It grumbles about being run as root on
# stderr, which is left out.)
if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$package" 2>/dev/null >"$packageDir/lintian.log"
  lintianStatus=$?
  sed 's/^/   lintian: /' "$packageDir/lintian.log"
  ((lintianStatus == 0)) || Fail "lintian finds errors or warnings in the package (status $lintianStatus)"
else
  Fail "lintian is not installed"
fi
depends=$(dpkg-deb -f "$package" Depends)
for library in libncursesw6 libsdl2-2.0-0 libspeechd2 libespeak-ng1; do
  [[ $depends == *"$library"* ]] || Fail "Depends does not name $library"
done
[[ $(dpkg-deb -f "$package" Recommends) == *speech-dispatcher* ]] ||
  Fail "the package does not recommend speech-dispatcher"
[[ $(dpkg-deb -f "$package" Section) == games ]] || Fail "the package is not in section games"

"${asRoot[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$package" \
  >"$packageDir/install.log" 2>&1 ||
  { cat "$packageDir/install.log" >&2; echo "FAIL: apt-get could not install the package" >&2; exit 1; }

installed=/usr/games/keelmark
[[ -x $installed ]] || Fail "no program at $installed"
manPage=/usr/share/man/man6/keelmark.6.gz
zcat "$manPage" 2>/dev/null | grep -q '^\.TH KEELMARK 6' || Fail "no manual page headed for section 6 at $manPage"
[[ -f /usr/share/doc/keelmark/copyright ]] || Fail "no copyright file"

# The version the package carries is the one the title shows, in Debian's
# spelling (a tilde where the title has a hyphen).
packageVersion=$(dpkg-query -W -f='${Version}' keelmark)

if [[ -x $installed ]]; then
  source "$here/../terminal/harness.sh" "$installed"
  # The harness tidies its terminal away on exit; the package goes too.
  trap 'Cleanup; Remove' EXIT
  StartTerminal 80 25
  StartGame
  if WaitForText 3 1 "Press any key to continue."; then
    titleVersion=$(RowText 1 | sed -n 's/^ Keelmark version \([^ ]*\) *$/\1/p')
    [[ -n $titleVersion ]] || Fail "the installed game shows no version in its title: '$(RowText 1)'"
    [[ ${packageVersion//\~/-} == "$titleVersion" ]] ||
      Fail "the package is version $packageVersion, the title says $titleVersion"
    QuitAndExpectCleanExit "\"quit\" in the installed game"
  fi
fi

Remove
IsInstalled && Fail "the package is still installed after apt-get purge"
[[ -e $installed ]] && Fail "$installed is still there after the package was removed"

((failures == 0)) || { echo "$failures check(s) failed" >&2; exit 1; }
echo "all checks passed"
