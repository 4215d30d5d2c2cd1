# Shared by the server fixtures of the openssh tests (sourced): stopping by the pid file in
# $dir, a free loopback port and nss_wrapper's library. `fixture` names the caller in messages.

stop() {
  if [ -f "$dir/fixture.pid" ]; then
    local pid
    pid=$(cat "$dir/fixture.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$dir/fixture.pid"
  fi
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

nss_wrapper() {
  local lib
  for lib in /usr/lib/*/libnss_wrapper.so /usr/lib/libnss_wrapper.so; do
    [ -f "$lib" ] && { echo "$lib"; return 0; }
  done
  echo "$fixture: libnss_wrapper.so missing (install libnss-wrapper: scripts/setup-system.sh)" >&2
  return 1
}
