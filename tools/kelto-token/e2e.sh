#!/bin/sh
# End-to-end check of kelto-token: fixed moments must give exactly these outputs. The same
# cases run against the Linux build and, under Wine, against the Windows build, so the two
# are held to the same tokens.
#
#   e2e.sh <kelto-token>                 the Linux program
#   e2e.sh <kelto-token.exe> <prefix>    the Windows program, in a throwaway Wine prefix
#                                        created here and removed afterwards
set -u

tool=$1
work=$(mktemp -d)
failures=0
cases=0

case "$tool" in
    *.exe)
        mkdir -p "$2"
        prefix=$(cd "$2" && pwd)  # Wine wants an absolute path
        export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
        unset DISPLAY
        cleanup() {
            # Only this prefix's server.
            wineserver -k >/dev/null 2>&1
            wineserver -w >/dev/null 2>&1
            rm -rf "$prefix" "$work"
        }
        trap cleanup EXIT
        trap 'exit 130' INT TERM
        # The Wine that runs this program (its 64-bit loader for a 64-bit build); a 32-bit
        # program on a kernel that runs no 32-bit x86 programs is not run (77, the skip code
        # the test is registered with).
        scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
        if ! PATH=$(bash -c '. "$1" && kelto_wine_for "$2" && echo "$PATH"' _ "$scripts/wine-prefix.sh" "$tool"); then
            echo "kelto-token under Wine: not run"
            exit 77
        fi
        export PATH
        rm -rf "$prefix"
        mkdir -p "$prefix"
        if ! wineboot -i >/dev/null 2>&1; then
            echo "FAIL: could not create the Wine prefix $prefix"
            exit 1
        fi
        run() { wine "$tool" "$@"; }
        # Every answer of the program has output or an error line; a run that ends non-zero
        # with neither never reached it (Wine now and then fails a start under load), and is
        # run once more. A fault of the program answers the same way both times.
        retry_silent=1
        ;;
    *)
        trap 'rm -rf "$work"' EXIT
        run() { "$tool" "$@"; }
        ;;
esac

fail() {
    failures=$((failures + 1))
    echo "FAIL: $*"
}

# Runs the tool; leaves the exit code in $code and stdout / stderr, without the carriage
# returns of a Windows console, in $out / $err.
invoke() {
    run "$@" >"$work/out" 2>"$work/err"
    code=$?
    if [ "${retry_silent:-0}" = 1 ] && [ "$code" != 0 ] && [ ! -s "$work/out" ] && [ ! -s "$work/err" ]; then
        run "$@" >"$work/out" 2>"$work/err"
        code=$?
    fi
    out=$(tr -d '\r' <"$work/out")
    err=$(tr -d '\r' <"$work/err")
}

# expect <name> <exit code> <stdout> -- <arguments...>
expect() {
    name=$1 want_code=$2 want_out=$3
    shift 4
    cases=$((cases + 1))
    invoke "$@"
    if [ "$code" != "$want_code" ]; then fail "$name: exit code $code, expected $want_code (stderr: $err)"; fi
    if [ "$out" != "$want_out" ]; then
        fail "$name: output differs"
        printf '%s\n' "--- expected" "$want_out" "--- got" "$out"
    fi
}

# expect_error <name> <exit code> <first line of stderr> -- <arguments...>
expect_error() {
    name=$1 want_code=$2 want_err=$3
    shift 4
    cases=$((cases + 1))
    invoke "$@"
    if [ "$code" != "$want_code" ]; then fail "$name: exit code $code, expected $want_code"; fi
    if [ -n "$out" ]; then fail "$name: unexpected output: $out"; fi
    first=$(printf '%s\n' "$err" | head -n 1)
    if [ "$first" != "$want_err" ]; then fail "$name: stderr '$first', expected '$want_err'"; fi
}

# --- tokens of moments and windows ----------------------------------------------------

expect epoch 0 "Time (UTC):     2024-01-01T00:00:00Z
Token:          072923
Window:         0 (starts 2024-01-01T00:00:00Z)
Accepted:       2023-12-31T23:55:01Z to 2024-01-01T00:06:00Z (both included)
Next window in: 300 s" -- --at 2024-01-01T00:00:00Z

expect window_1 0 "Time (UTC):     2024-01-01T00:05:00Z
Token:          765522
Window:         1 (starts 2024-01-01T00:05:00Z)
Accepted:       2024-01-01T00:04:00Z to 2024-01-01T00:11:00Z (both included)
Next window in: 300 s" -- --at 2024-01-01T00:05:00Z

expect window_2_last_second 0 "Time (UTC):     2024-01-01T00:14:59Z
Token:          458121
Window:         2 (starts 2024-01-01T00:10:00Z)
Accepted:       2024-01-01T00:09:00Z to 2024-01-01T00:16:00Z (both included)
Next window in: 1 s" -- --at "2024-01-01 00:14:59"

expect window_299_with_offset 0 "Time (UTC):     2024-01-02T00:55:00Z
Token:          160024
Window:         299 (starts 2024-01-02T00:55:00Z)
Accepted:       2024-01-02T00:54:00Z to 2024-01-02T01:01:00Z (both included)
Next window in: 300 s" -- --at 2024-01-02T02:55:00+02:00

expect window_204384 0 "Time (UTC):     2025-12-10T16:02:17Z
Token:          226939
Window:         204384 (starts 2025-12-10T16:00:00Z)
Accepted:       2025-12-10T15:59:00Z to 2025-12-10T16:06:00Z (both included)
Next window in: 163 s" -- --at=2025-12-10T16:02:17Z

expect window_999999_fraction 0 "Time (UTC):     2033-07-04T05:19:59Z
Token:          380324
Window:         999999 (starts 2033-07-04T05:15:00Z)
Accepted:       2033-07-04T05:14:00Z to 2033-07-04T05:21:00Z (both included)
Next window in: 1 s" -- --at 2033-07-04T05:19:59.900Z

expect window_1000000_repeats_window_0 0 "Token:          072923
Window:         1000000 (starts 2033-07-04T05:20:00Z)
Accepted:       2033-07-04T05:19:00Z to 2033-07-04T05:26:00Z (both included)" -- --window 1000000

# --- checks: current window, grace at its boundaries, refusals -------------------------

expect check_current_with_blanks 0 "Time (UTC):     2024-01-01T00:07:30Z
Window:         1 (starts 2024-01-01T00:05:00Z)
Offset:         150 s
Verdict:        accepted, the token of the current window" -- --check " 765522 " --at 2024-01-01T00:07:30Z

expect check_previous_at_60 0 "Time (UTC):     2024-01-01T00:06:00Z
Window:         1 (starts 2024-01-01T00:05:00Z)
Offset:         60 s
Verdict:        accepted, the token of the previous window (0), within its grace period (offsets up to 60 s)" \
    -- --check 072923 --at 2024-01-01T00:06:00Z

expect check_previous_at_61 1 "Time (UTC):     2024-01-01T00:06:01Z
Window:         1 (starts 2024-01-01T00:05:00Z)
Offset:         61 s
Verdict:        refused, the token of the previous window (0), whose grace period ended at offset 60 s" \
    -- --check 072923 --at 2024-01-01T00:06:01Z

expect check_next_at_239 1 "Time (UTC):     2024-01-01T00:08:59Z
Window:         1 (starts 2024-01-01T00:05:00Z)
Offset:         239 s
Verdict:        refused, the token of the next window (2), whose grace period begins at offset 240 s" \
    -- --check 458121 --at 2024-01-01T00:08:59Z

expect check_next_at_240 0 "Time (UTC):     2024-01-01T00:09:00Z
Window:         1 (starts 2024-01-01T00:05:00Z)
Offset:         240 s
Verdict:        accepted, the token of the next window (2), within its grace period (offsets from 240 s)" \
    -- --check 458121 --at 2024-01-01T00:09:00Z

expect check_other_window 1 "Time (UTC):     2024-01-01T00:09:59Z
Window:         1 (starts 2024-01-01T00:05:00Z)
Offset:         299 s
Verdict:        refused, not the token of this window nor of a neighbouring one" \
    -- --check 226939 --at 2024-01-01T00:09:59Z

expect check_five_digits 1 "Verdict:        refused, not six digits 0-9 (only blanks around them are ignored)" \
    -- --check 76552 --at 2024-01-01T00:05:00Z

# --- refusals and bad arguments -------------------------------------------------------

expect_error before_epoch 3 \
    "kelto-token: the time 2023-12-31T23:59:59Z is before 2024-01-01T00:00:00Z, where token windows begin" \
    -- --at 2023-12-31T23:59:59Z
expect_error before_epoch_by_offset 3 \
    "kelto-token: the time 2023-12-31T23:00:00Z is before 2024-01-01T00:00:00Z, where token windows begin" \
    -- --check 072923 --at 2024-01-01T01:00:00+02:00
expect_error negative_window 3 \
    "kelto-token: window -1 is before 2024-01-01T00:00:00Z, where token windows begin" -- --window -1
expect_error no_such_day 2 \
    "kelto-token: --at needs an ISO 8601 date and time such as 2025-12-10T16:02:17Z, not '2024-02-30T00:00:00Z'" \
    -- --at 2024-02-30T00:00:00Z
expect_error bad_window 2 "kelto-token: --window needs a whole number of 32 bits, not '12x'" -- --window 12x
expect_error unknown_option 2 "kelto-token: unknown option '--frobnicate'" -- --frobnicate
expect_error missing_code 2 "kelto-token: --check needs a value" -- --check
expect_error window_and_at 2 "kelto-token: --window cannot be combined with --at or --check" \
    -- --window 1 --at 2024-01-01T00:00:00Z

cases=$((cases + 1))
invoke --help
if [ "$code" != 0 ] || [ "$(printf '%s\n' "$out" | head -n 1)" != "Usage: kelto-token [--at TIME] [--check CODE]" ]; then
    fail "help: exit code $code, output: $out"
fi

# --- kelto: URLs: explain and url ----------------------------------------------------

# Hebrew leaves as UTF-8 bytes when the output is a file, on Linux and on Windows alike.
expect explain_path_url 0 "URL:                       kelto://flushdns/sid/T-1.5/host/Support.Example.com/port/8443
Command line:              \"kelto://flushdns/sid/T-1.5/host/Support.Example.com/port/8443\" (quoted, as the open command passes it)
Action key:                flushdns
Session ID:                T-1 (cut after 3 characters, before '.5'; the helper accepts only letters, digits, \"-\" and \"_\")
Server host:               support.example.com
Server port:               8443
Server TLS:                off (no /tls/ value)
Road:                      approval
Token prompt:              asked, unless the session is still authorized on the customer's PC
Consent box:               בקשת פעולה מ-Kelto
    הנציג מבקש לבצע את הפעולה:
    
    ניקוי מטמון DNS
    תופעל הפקודה: ipconfig /flushdns
    
    לאשר את הפעולה?
Confirmation box:          none
Restore question:          asked (Yes, No or Cancel)
Elevation prompt:          follows: the helper starts itself again elevated
Started (64-bit Windows):  %SystemRoot%\\Sysnative\\cmd.exe
  Parameters:              /K ipconfig /flushdns
  Working folder:          %SystemRoot%\\System32
Started (32-bit Windows):  %SystemRoot%\\System32\\cmd.exe
  Parameters:              /K ipconfig /flushdns
  Working folder:          %SystemRoot%\\System32
Verdict:                   the customer is asked, then the elevation prompt follows" \
    -- explain "kelto://flushdns/sid/T-1.5/host/Support.Example.com/port/8443"

expect explain_unknown_key 1 "URL:                       kelto:?tool=calc
Command line:              \"kelto:?tool=calc\" (quoted, as the open command passes it)
Action key:                calc
Session ID:                (none in the URL: the helper continues the session still authorized on the customer's PC, if there is one)
Server host:               (none in the URL)
Server port:               0 (none in the URL)
Server TLS:                off (no /tls/ value)
Road:                      not in the catalogue
Token prompt:              asked, unless the session is still authorized on the customer's PC
Refusal box:               Kelto
    הפעולה אינה נמצאת ברשימת הפעולות המאושרות.
Verdict:                   refused after the token prompt" -- explain "kelto:?tool=calc"

expect url_rescue_vm 0 "kelto://virtualiso/sid/T-1/host/support.example.com/port/8443/tls/1" \
    -- url virtualiso --sid T-1 --host Support.Example.com --port 08443 --tls
expect url_json 0 '{
  "url": "kelto://offline/sid/T-1",
  "actionKey": "offline",
  "sessionId": "T-1",
  "serverHost": "",
  "serverPort": 0,
  "serverUseTls": false
}' -- url --json offline --sid=T-1
expect_error url_cut_session 2 \
    "kelto-token: the helper would cut the session ID 'T-1.5' to 'T-1': letters, digits, \"-\" and \"_\" only" \
    -- url ping --sid T-1.5
expect_error url_no_server 2 \
    "kelto-token: 'virtualiso' needs --host and --port: the rescue VM is downloaded from the server" -- url virtualiso
expect_error explain_no_url 2 "kelto-token: explain needs exactly one URL" -- explain

# --- the system clock: UTC whatever the time zone -------------------------------------

# The window printed without --at must be the one of the UTC time around the run, in zones
# far east and west of UTC (a local clock would be 14 or 3.5 hours off).
for zone in Pacific/Kiritimati America/St_Johns; do
    cases=$((cases + 1))
    TZ=$zone
    export TZ
    before=$(( ($(date +%s) - 1704067200) / 300 ))
    invoke
    after=$(( ($(date +%s) - 1704067200) / 300 ))
    window=$(printf '%s\n' "$out" | sed -n 's/^Window: *\([0-9][0-9]*\) .*/\1/p')
    token=$(printf '%s\n' "$out" | sed -n 's/^Token: *//p')
    if [ "$code" != 0 ] || [ -z "$window" ] || [ "$window" -lt "$before" ] || [ "$window" -gt "$after" ]; then
        fail "system clock in $zone: exit code $code, window '$window', expected $before to $after"
        continue
    fi
    # What was just printed is accepted by a check on the system clock.
    cases=$((cases + 1))
    invoke --check "$token"
    if [ "$code" != 0 ]; then fail "check of the current token $token in $zone: exit code $code, output: $out"; fi
done
unset TZ

echo "$cases cases, $failures failed"
[ "$failures" = 0 ]
