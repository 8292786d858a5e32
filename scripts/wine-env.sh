# Sourced by the scripts that run Windows programs: one Wine prefix inside the build tree and one
# persistent wineserver for the whole run, started detached (stdio on /dev/null) so that neither it nor
# the prefix's service processes ever hold ctest's output pipes.
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$repo_root/build/win64/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

wine_start() {
    mkdir -p "$WINEPREFIX"
    (
        flock 9
        # A second persistent server for the same prefix exits at once, so this is idempotent.
        setsid wineserver -p 9>&- </dev/null >/dev/null 2>&1 &
        if [ ! -f "$WINEPREFIX/.tarvelmond-ready" ]; then
            setsid wine wineboot -i 9>&- </dev/null >/dev/null 2>&1
            touch "$WINEPREFIX/.tarvelmond-ready"
        fi
        # The prefix's service processes (services.exe, winedevice.exe, ...) live as long as the server
        # and keep the standard streams of whichever program started them; start them here, on
        # /dev/null, rather than from the first test under ctest's pipes.
        setsid wine wineboot 9>&- </dev/null >/dev/null 2>&1
    ) 9>"$WINEPREFIX.lock"
}

wine_stop() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
}
