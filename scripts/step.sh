# Step NAME COMMAND...: runs the command and says how long it took.
Step() {
  local name=$1 started=$SECONDS
  shift
  "$@"
  echo "== $name: $((SECONDS - started)) s"
}
