# wait_for_socket PATH (sourced): fails the test unless the socket appears within 10 s.
wait_for_socket() {
  for _ in $(seq 1 200); do
    [ -S "$1" ] && return 0
    sleep 0.05
  done
  fail "no socket at $1"
}
