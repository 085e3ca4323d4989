# What the tests of the listening side share, sourced first:
#   source "$here/analysis_test_setup.sh" FIND_CLIPS NAME
# checks FIND_CLIPS, sets clipFolder and a work folder (named after NAME,
# gone at exit), and counts failures through Fail.

set -u
export LANG=C.UTF-8 LC_ALL=C.UTF-8
findClips=$(readlink -f "${1:-}")
[[ -x $findClips ]] || { echo "no find_clips at '${1:-}'" >&2; exit 2; }
clipFolder="$here/../../resources/sounds"
work=$(mktemp -d "${TMPDIR:-/tmp}/keelmark-audio-$2.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
Fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
Note() { echo "-- $*"; }
