#!/usr/bin/env bash
# exit_status_test.sh BUILD_DIR SOURCE_DIR
#
# Runs oxu, ostrel and pilvor of a build under the driver stand-in into the
# exit statuses that their manual pages state. Each case names its cause by
# words of one status's meaning in the page's EXIT STATUS; the program must
# end with that status, the README's table must give the same one for those
# words, and a message that the case expects, written as the page and the
# README write it, must be among what the program printed. Every status a
# page states must come from some case. The window cases run on a private X
# server; the cases without a display have none at all.
set -euo pipefail

build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
bin=$build/bin
simctl=$bin/simctl
xdrive=$build/tests/xdrive
. "$src/tests/doc_text.sh"
. "$src/scripts/lib/private-x.sh"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/exit-status-test.XXXXXX")
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    private_x_end
    rm -rf "$tmp"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

sb=$tmp/sandbox
out=$tmp/output
# Every ostrel case loads all adapters but the one that sets it.
unset OSTREL_INTERFACE
# The toolkit as the window tests run it: X11 only, no session services.
mkdir -m 0700 "$tmp/run"
export GDK_BACKEND=x11 NO_AT_BRIDGE=1 GTK_THEME=Adwaita GSETTINGS_BACKEND=memory XDG_RUNTIME_DIR=$tmp/run
private_x
display=$DISPLAY
unset DISPLAY
# pilvor sets its own DISPLAY, which the stand-in replaces with this one; and
# its waits are skipped.
export SIMDRIVER_SLEEP_SCALE=0

sandbox() { # sandbox ADAPTERS: a fresh sandbox with those adapters
    rm -rf "$sb"
    "$simctl" init "$sb" --adapters "$1" > /dev/null
}
set_field() { "$simctl" set "$sb" "$@" > /dev/null; }

# run PROGRAM ARGS...: runs it to its end and prints its status.
run() {
    local status=0
    timeout 60 "$simctl" run "$sb" -- "$bin/$1" "${@:2}" > "$out" 2>&1 || status=$?
    echo "$status"
}
# start PROGRAM ARGS... on the private display, then finish: its status once it
# has ended by itself, within 30 seconds.
start() {
    DISPLAY=$display SIMDRIVER_DISPLAY=$display "$simctl" run "$sb" -- "$bin/$1" "${@:2}" > "$out" 2>&1 &
    pid=$!
}
finish() {
    local status=0
    for _ in $(seq 300); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid"
        wait "$pid" 2>/dev/null || true
        pid=
        echo "still running"
        return
    fi
    wait "$pid" || status=$?
    pid=
    echo "$status"
}
drive() { DISPLAY=$display "$xdrive" "$@" > /dev/null; }

main="Vindral Client Utility"
credentials="Set ZUNA Username  and Password"

# ---- the cases: each prints the status the program ended with --------------

ostrel_all_loaded() { sandbox eth0,eth2; run ostrel; }
ostrel_version() { sandbox eth0; run ostrel -v; }
ostrel_no_adapter() { sandbox ""; run ostrel; }
ostrel_named_adapter_missing() { sandbox eth0; OSTREL_INTERFACE=eth1 run ostrel; }
ostrel_file_not_created() { sandbox eth0; mkdir "$sb/etc/eth0.cfg"; run ostrel; }
ostrel_file_not_written_whole() { sandbox eth0; "$simctl" filefail "$sb" etc write 28; run ostrel; }
ostrel_file_damaged() { sandbox eth0; printf 'damaged' > "$sb/etc/eth0.cfg"; run ostrel; }
# Another run holds the turn; the wait, 60 s, is shortened to 1.2 s by the
# stand-in's scale of waits.
ostrel_turn_not_had() {
    sandbox eth0
    : > "$sb/run/ostrel.lock"
    (flock 9 && SIMDRIVER_SLEEP_SCALE=0.02 run ostrel) 9< "$sb/run/ostrel.lock"
}
ostrel_write_refused() { sandbox eth0; "$simctl" fail "$sb" eth0 53 5; run ostrel; }
# Without an error number from the driver.
ostrel_write_failed_bare() { sandbox eth0; "$simctl" fail "$sb" eth0 53 0; run ostrel; }
ostrel_read_failed_bare() {
    sandbox eth0
    run ostrel > /dev/null
    "$simctl" fail "$sb" eth0 1 0
    run ostrel
}
# Reading the process's own memory at offset 0 fails.
ostrel_file_unreadable() { sandbox eth0; ln -s /proc/self/mem "$sb/etc/eth0.cfg"; run ostrel; }
ostrel_no_file_adapter_unreadable() { sandbox eth0; "$simctl" fail "$sb" eth0 1 5; run ostrel; }

oxu_no_display() { sandbox eth0; run oxu; }
# Read before the display is opened: none is needed.
oxu_prefs_unreadable() { sandbox eth0; mkdir "$sb/opt/tavlo/OXU.PRFS"; run oxu; }
# An empty preferences file, as the package makes it, on a full disk.
oxu_prefs_disk_full() {
    sandbox eth0
    : > "$sb/opt/tavlo/OXU.PRFS"
    "$simctl" filefail "$sb" opt/tavlo/OXU.PRFS write 28
    run oxu
}
# run_as_other PROGRAM: runs it as another user than root (nobody) to its end
# and prints its status. The build may lie where that user cannot reach it:
# the programs are copied, with the stand-in's library beside simctl as it
# looks for it, and the sandbox is opened to that user, its profile folder
# and files as they stand.
run_as_other() {
    local copy=$tmp/copy status=0
    mkdir -p "$copy/bin" "$copy/lib"
    cp "$bin/$1" "$bin/simctl" "$copy/bin/"
    cp "$build/lib/libsimdriver.so" "$copy/lib/"
    chmod a+rx "$tmp"
    chmod -R a+rX "$copy"
    find "$sb" -path "$sb/etc" -prune -o -path "$sb/opt" -prune -o -exec chmod a+rwX {} +
    chmod -R a+rX "$sb/etc" "$sb/opt"
    timeout 60 setpriv --reuid=65534 --regid=65534 --clear-groups \
        "$copy/bin/simctl" run "$sb" -- "$copy/bin/$1" > "$out" 2>&1 || status=$?
    echo "$status"
}
# A preferences file that only root can write, for every other user.
oxu_prefs_root_only() {
    sandbox eth0
    : > "$sb/opt/tavlo/OXU.PRFS"
    chmod 0644 "$sb/opt/tavlo/OXU.PRFS"
    if [ "$(id -u)" -ne 0 ]; then
        chmod 0444 "$sb/opt/tavlo/OXU.PRFS"
        run oxu
    else
        run_as_other oxu
    fi
}
oxu_no_adapter() { sandbox ""; start oxu; finish; }
oxu_main_window_closed() { sandbox eth0; start oxu; drive wait "$main" 30; drive close "$main"; finish; }
# "Commands" from its end: Exit.
oxu_exit() { sandbox eth0; start oxu; drive wait "$main" 30; drive key "$main" F10 Up Return; finish; }
oxu_error_window_ok() {
    sandbox eth0
    start oxu
    drive wait "$main" 30
    "$simctl" fail "$sb" eth0 8 5 -1
    drive wait "Error message" 30
    drive key "Error message" Tab space
    finish
}
# The adapter is gone when " Ok " of the properties window is pressed; the
# window that says so, which has no title, is closed.
oxu_fatal_closed() {
    sandbox eth0
    start oxu
    drive wait "$main" 30
    # "Commands": About, Load new Firmware, Edit Properties.
    drive key "$main" F10 Down Down Down Return
    local window
    window=$(DISPLAY=$display "$xdrive" wait "VX1100 Properties" 30) || true
    set_field eth0 present=0
    # " Ok " is the first of the three buttons at the window's bottom right.
    read -r _ _ _ width height <<< "$window"
    drive click "VX1100 Properties" $((width - 133)) $((height - 13))
    drive wait "" 30
    drive close ""
    finish
}
oxu_file_not_created() { sandbox eth0; mkdir "$sb/etc/eth0.cfg"; start oxu; finish; }
oxu_no_file_adapter_unreadable() { sandbox eth0; "$simctl" fail "$sb" eth0 1 5; start oxu; finish; }

pilvor_version() { sandbox eth0; run pilvor -v; }
# A display that no server has, even if one runs on the unix:0 that pilvor
# sets itself.
pilvor_no_display() { sandbox eth0; SIMDRIVER_DISPLAY=:nonexistent run pilvor; }
pilvor_window_closed() { sandbox eth0; start pilvor; drive wait "$credentials" 30; drive close "$credentials"; finish; }
# From the user name: password, then Cancel.
pilvor_cancel() {
    sandbox eth0
    start pilvor
    drive wait "$credentials" 30
    drive key "$credentials" Tab Tab space
    finish
}
pilvor_result_ok() {
    sandbox eth0
    set_field eth0 auth_after=0
    start pilvor alice secret
    drive wait pilvor 30
    drive key pilvor Tab space
    finish
}
pilvor_result_closed() {
    sandbox eth0
    set_field eth0 auth_after=0
    start pilvor alice secret
    drive wait pilvor 30
    drive close pilvor
    finish
}

# ---- what the documents say -------------------------------------------------

# The one status whose meaning holds WORDS, from "STATUS MEANING" lines.
status_for() { # status_for WORDS < lines
    local found
    found=$(grep -F -- "$1" | cut -d' ' -f1 | sort -u)
    if [ "$(wc -w <<< "$found")" -eq 1 ]; then
        echo "$found"
    else
        echo "none or several: $(tr '\n' ' ' <<< "$found")"
    fi
}

# A message as the documents write it, as an extended regular expression:
# IFACE an interface, N a number, WHY some text, ... any text.
form_regex() {
    sed -E 's/[][\.*^$+?(){}|/]/\\&/g; s/\\\.\\\.\\\./.*/g; s/IFACE/eth[0-4]/g; s/\bN\b/[0-9]+/g;
        s/WHY/.+/g' <<< "$1"
}

# program | words of the meaning | case | messages, each after a "|" (-:
# nothing printed; none: not checked)
cases=$(cat <<'EOF'
ostrel|every adapter loaded|ostrel_all_loaded|
ostrel|"-v"|ostrel_version|ostrel 1.5.1
ostrel|no adapter found|ostrel_no_adapter|-
ostrel|no adapter on the interface that OSTREL_INTERFACE names|ostrel_named_adapter_missing|-
ostrel|every adapter loaded|ostrel_file_damaged|ostrel: /etc/IFACE.cfg is damaged: its bytes are kept in /etc/IFACE.cfg.damaged, and it is made anew from the adapter
ostrel|a profile file cannot be created|ostrel_file_not_created|Cant open config CFGIO: ...
ostrel|cannot be written whole|ostrel_file_not_written_whole|Cant open config CFGIO: ...|No space left on device
ostrel|another run held the turn|ostrel_turn_not_had|ostrel: another run of ostrel has held /run/ostrel.lock for 60 seconds: nothing loaded
ostrel|at least one did not take its profile|ostrel_write_refused|ostrel: eth0: profile not loaded: Input/output error  kdr770::SetConfiguration set CFG
ostrel|at least one did not take its profile|ostrel_write_failed_bare|ostrel: IFACE: profile not loaded: WHY|request N failed
ostrel|at least one did not take its profile|ostrel_read_failed_bare|ostrel: IFACE: profile not loaded: WHY|configuration not read
ostrel|a profile file cannot be read|ostrel_file_unreadable|Cfgio::rdcfg: ...
ostrel|there is none and the adapter's configuration cannot be read|ostrel_no_file_adapter_unreadable|Cfgio::rdcfg: Bad file descriptor
oxu|the display cannot be opened|oxu_no_display|cannot open display: ...
oxu|the preferences file cannot be read|oxu_prefs_unreadable|prefs::prefs: ...
oxu|the preferences file cannot be read|oxu_prefs_root_only|prefs::prefs: Permission denied
oxu|the preferences file cannot be read or filled|oxu_prefs_disk_full|prefs::prefs: No space left on device
oxu|no adapter found|oxu_no_adapter|No radio found
oxu|the main window closed|oxu_main_window_closed|
oxu|"Exit"|oxu_exit|
oxu|"Ok" in the error window of an adapter failure|oxu_error_window_ok|
oxu|"Fatal I/O error. Exiting"|oxu_fatal_closed|
oxu|a profile file that cannot be created|oxu_file_not_created|Cant open config CFGIO: ...
oxu|there is none and the adapter's configuration cannot be read|oxu_no_file_adapter_unreadable|Cfgio::rdcfg: ...
pilvor|"-v"|pilvor_version|pilvor 1.5.1
pilvor|the display cannot be opened|pilvor_no_display|cannot open display: ...
pilvor|the credentials window closed|pilvor_window_closed|
pilvor|"Cancel"|pilvor_cancel|
pilvor|"Ok" in "User Authenticated"|pilvor_result_ok|
pilvor|"User Authenticated" closed|pilvor_result_closed|
EOF
)

declare -A produced
while IFS='|' read -r program words case messages; do
    page=$(ls "$src"/docs/"$program".[18])
    want=$(page_statuses "$page" | status_for "$words")
    readme=$(readme_statuses "$program" | status_for "$words")
    [ "$readme" = "$want" ] ||
        fail "$case: the page gives status $want for \"$words\", the README $readme"
    got=$("$case" < /dev/null)
    [ "$got" = "$want" ] || { fail "$case: ended with $got, the page says $want for \"$words\""; cat "$out" >&2; }
    produced[$program]+=" $got"

    if [ "$messages" = - ]; then
        [ ! -s "$out" ] || { fail "$case printed something, the page says nothing:"; cat "$out" >&2; }
        continue
    fi
    IFS='|' read -r -a forms <<< "$messages"
    for message in "${forms[@]}"; do
        grep -qF -- "$message" <(plain "$page") || fail "$case: the page does not write \"$message\""
        grep -qF -- "$message" "$src/README.md" || fail "$case: the README does not write \"$message\""
        grep -qE -- "$(form_regex "$message")" "$out" ||
            { fail "$case printed no \"$message\":"; cat "$out" >&2; }
    done
done <<< "$cases"

# Every status that a page states is brought about.
for page in "$src"/docs/oxu.1 "$src"/docs/pilvor.1 "$src"/docs/ostrel.8; do
    program=$(basename "${page%.*}")
    for status in $(page_statuses "$page" | cut -d' ' -f1); do
        [[ " ${produced[$program]} " == *" $status "* ]] ||
            fail "$program: no case ends with status $status, which its page states"
    done
done

[ "$failures" -eq 0 ] || { echo "$failures failures" >&2; exit 1; }
echo "exit statuses as the pages and the README say"
