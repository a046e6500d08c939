#!/usr/bin/env bash
# Runs an accessibility-driven script (test_app.py, tools/render_windows.py) against the real vantrel
# inside a private D-Bus session and a virtual X screen, with a throw-away HOME so that services
# the session starts (the keyring) write nothing outside it.
# Environment: VANTREL_APP, FAKE_ADB, FAKE_HTTP_SERVER (paths of the built programs).
set -euo pipefail
script="$1"; shift
session_home="$(mktemp -d "${TMPDIR:-/tmp}/vantrel-session-XXXXXX")"
trap 'rm -rf "$session_home"' EXIT
mkdir -m 700 "$session_home/run"
export HOME="$session_home" XDG_RUNTIME_DIR="$session_home/run" XDG_CONFIG_HOME="$session_home/.config" \
       XDG_DATA_HOME="$session_home/.local/share" XDG_CACHE_HOME="$session_home/.cache"
dbus-run-session -- xvfb-run -a -s "-screen 0 1400x1000x24" /usr/bin/python3 "$script" "$@"
