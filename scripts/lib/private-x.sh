# Sourced by the scripts that draw the programs' windows without a display of
# the user's. private_x starts an X server of its own (Xvfb) and exports its
# DISPLAY; private_x_end stops it. The caller's EXIT trap calls private_x_end.
private_x() {
  local fd_file
  fd_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
  private_x_pid=$!
  for _ in $(seq 100); do [ -s "$fd_file" ] && break; sleep 0.1; done
  if [ ! -s "$fd_file" ]; then
    rm -f "$fd_file"
    echo "Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$(cat "$fd_file")" NO_AT_BRIDGE=1
  rm -f "$fd_file"
}

private_x_end() {
  [ -n "${private_x_pid:-}" ] && kill "$private_x_pid" 2>/dev/null || true
  private_x_pid=
}
