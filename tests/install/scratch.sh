# What the install tests share (sourced): a scratch folder $work removed at the
# end with every process recorded in $pids, fail(), and wait_for_socket (wait_for_socket.sh).
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

source "$(dirname "${BASH_SOURCE[0]}")/wait_for_socket.sh"
