#!/usr/bin/env bash
# The Wine prefix that the Windows tests copy, made once for a build folder:
# wineboot takes some twenty seconds of a busy machine, a copy a second or
# two. Made again only when Wine's version is not the one that made it. Runs
# that overlap wait for the first to finish, so the build script may start
# it beside the compiler and the tests still ask for it.
#
# With COPY, the prefix is then copied there, for one test's own use, its
# user folders leading to the caller's $HOME. The system folder, nine tenths
# of the prefix, is hard links: Wine only reads the DLLs there, and a copy of
# them for each of four tests at once was seconds of disk writes on the
# critical path.
#
#   make_wine_prefix.sh FOLDER [COPY]
set -euo pipefail
template=$(readlink -m "${1:?usage: make_wine_prefix.sh FOLDER [COPY]}")
copy=${2:-}
callerHome=$HOME
unset DISPLAY WAYLAND_DISPLAY
command -v wine >/dev/null || { echo "wine is not installed" >&2; exit 2; }
mkdir -p "$(dirname "$template")"
exec 9>"$template.lock"
flock 9
version=$(wine --version 2>/dev/null)

CopyPrefix() {
  [[ -n $copy ]] || return 0
  local system=drive_c/windows/system32
  mkdir -p "$copy"
  tar -C "$template" --exclude="./$system" -cf - . | tar -C "$copy" -xf -
  cp -al "$template/$system" "$copy/$system"
  # The user's folders led to the home of the run that made the prefix.
  local link
  while IFS= read -r -d '' link; do
    ln -sfn "$callerHome" "$link"
  done < <(find "$copy/drive_c/users" -type l -lname '*.making/home' -print0)
}

if [[ -f $template/made-by && $(cat "$template/made-by") == "$version" ]]; then
  CopyPrefix
  exit 0
fi

started=$SECONDS
making=$template.making
rm -rf "$making"
mkdir -p "$making/home"
# The settings of the tests' own prefixes (see wine_prefix.sh): no Mono or
# Gecko installers, ALSA rather than PulseAudio; a home of its own, so that
# nothing in the prefix leads back to the home of whoever made it.
export HOME=$making/home WINEPREFIX=$making/prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winepulse.drv=d"
if ! { wineboot --init >"$making/wineboot.log" 2>&1 && wineserver -w; }; then
  cat "$making/wineboot.log" >&2
  echo "Wine would not make its prefix" >&2
  exit 2
fi
printf '%s\n' "$version" >"$making/prefix/made-by"
rm -rf "$template"
mv "$making/prefix" "$template"
rm -rf "$making"
echo "-- Wine prefix made in $((SECONDS - started)) s at $template"
CopyPrefix
