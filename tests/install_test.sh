#!/usr/bin/env bash
# install_test.sh BUILD_DIR
#
# Installs the suite from a build into a fresh temporary root with
# cmake --install, and builds its Debian package with cpack, then checks both
# as a Debian machine would see them: exactly the expected files, the units
# of ostrel and its manual page, what the units run (under the stand-in), the
# udev rule that starts them (run by udevadm where namespaces can be made),
# an installation with a prefix that writes nothing beside it, the menu entry,
# the installed ostrel, the package's files, dependencies and maintainer
# scripts, and lintian, with nothing at all on the manual pages and, in a
# release build (HARDENED=ON), on the hardening. Nothing outside the
# temporary folder is touched but the build's list of installed files, which
# is put back. SIMCTL names the stand-in's simctl.
set -euo pipefail

build=$(cd "$1" && pwd)
simctl=${SIMCTL:?SIMCTL must name simctl}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/install-test.XXXXXX")
# cmake --install and cpack both rewrite the build's install_manifest.txt,
# which a person needs to undo an installation made from this build.
manifest=$build/install_manifest.txt
if [ -e "$manifest" ] && [ ! -w "$manifest" ]; then
    echo "$manifest cannot be rewritten (left by sudo cmake --install?): remove it" >&2
    rm -rf "$tmp"
    exit 1
fi
[ -e "$manifest" ] && cp -p "$manifest" "$tmp/manifest"
cleanup() {
    if [ -e "$tmp/manifest" ]; then cp -p "$tmp/manifest" "$manifest"; else rm -f "$manifest"; fi
    rm -rf "$tmp"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Lists a tree as "MODE PATH" lines, folders with a trailing slash.
tree() {
    (cd "$1" && find . -mindepth 1 -printf '%M %P\n' | sed 's|^\(d[^ ]*\) \(.*\)|\1 \2/|' | sort -k2)
}

same() { # same WHAT EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        fail "$1"
        diff <(echo "$2") <(echo "$3") >&2 || true
    fi
}

# How a unit runs ostrel and is started, whole lines: a oneshot that goes
# inactive when ostrel ends, so that each start runs it again, and that
# nothing but the udev rule (or an administrator) starts; ended when it hangs,
# failed by any status but 0, with what ostrel says logged as errors.
how_run() {
    grep -E '^(Type|Environment|ExecStart|RemainAfterExit|StartLimitIntervalSec|WantedBy|RequiredBy|Also|SuccessExitStatus|SyslogLevel|TimeoutStartSec)=' "$1" |
        sort | tr '\n' ' ' | sed 's/ $//'
}

# A unit must parse cleanly, a template as one of its instances;
# systemd-analyze also wants the program present at the path it names, so it
# is shown the staged one, and the manual page that the unit names among the
# staged pages.
verify_unit() { # verify_unit UNIT NAME ROOT PREFIX: NAME the unit or instance verified
    rm -rf "$tmp/verify"
    mkdir -p "$tmp/verify"
    sed "s|^ExecStart=|ExecStart=$3|" "$1" > "$tmp/verify/${1##*/}"
    local out
    if ! out=$(MANPATH=$3$4/share/man systemd-analyze verify "$tmp/verify/$2" 2>&1) ||
        [ -n "$out" ]; then
        fail "systemd-analyze verify of $2: $out"
    fi
}

# run_unit UNIT INSTANCE: what systemd runs for the unit, under the stand-in
# in $sb: its ExecStart, the program taken from $root, with the unit's
# Environment in place of any OSTREL_INTERFACE of the caller's, the instance
# name (- for none) put in for %i and %I. Prints the exit status.
run_unit() {
    local unit=$1 instance=$2 lines status=0
    local -a env=() cmd=()
    lines=$(grep -E '^(Environment|ExecStart)=' "$unit" | sed "s/%[iI]/$instance/g")
    if grep -q '%' <<< "$lines" || [ "$(grep -c '^ExecStart=' <<< "$lines")" -ne 1 ] ||
        grep -q '^ExecStart=[^/]' <<< "$lines"; then
        echo "not run: $unit has specifiers, prefixes or ExecStart lines that run_unit does not know"
        return
    fi
    read -r -a cmd <<< "$(sed -n 's/^ExecStart=//p' <<< "$lines")"
    read -r -a env <<< "$(sed -n 's/^Environment=//p' <<< "$lines" | tr '\n' ' ')"
    env -u OSTREL_INTERFACE "${env[@]}" "$simctl" run "$sb" -- "$root${cmd[0]}" "${cmd[@]:1}" \
        > "$tmp/unit.out" 2>&1 || status=$?
    echo "$status"
}

# The interfaces written to (record requests 50 and above, not the
# identification) since the journal was cleared, in the order of their first
# write.
written() {
    "$simctl" journal "$sb" | awk '$4 == "0x89f0" && $5 >= 50 && !seen[$3]++ { print $3 }' |
        tr '\n' ' ' | sed 's/ $//'
}

# The entry validates and names a program and an icon that were installed.
check_desktop_entry() { # check_desktop_entry ROOT PREFIX
    local entry=$1$2/share/applications/oxu.desktop out
    if ! out=$(desktop-file-validate "$entry" 2>&1) || [ -n "$out" ]; then
        fail "desktop-file-validate $entry: $out"
    fi
    same "desktop entry's program and icon" "Exec=oxu Icon=oxu" \
        "$(grep -E '^(Exec|Icon)=' "$entry" | tr '\n' ' ' | sed 's/ $//')"
}

check_version() { # check_version OSTREL
    local out status=0
    out=$("$1" -v) || status=$?
    same "$1 -v" "ostrel 1.5.1 (0)" "$out ($status)"
}

# ---- cmake --install into a fresh root ------------------------------------

root=$tmp/root
DESTDIR=$root cmake --install "$build" > "$tmp/install.log" || { cat "$tmp/install.log" >&2; exit 1; }
same "files installed by cmake --install" "\
drwxr-xr-x usr/
drwxr-xr-x usr/local/
drwxr-xr-x usr/local/bin/
-rwxr-xr-x usr/local/bin/oxu
-rwxr-xr-x usr/local/bin/pilvor
drwxr-xr-x usr/local/lib/
drwxr-xr-x usr/local/lib/systemd/
drwxr-xr-x usr/local/lib/systemd/system/
-rw-r--r-- usr/local/lib/systemd/system/ostrel.service
-rw-r--r-- usr/local/lib/systemd/system/ostrel@.service
drwxr-xr-x usr/local/lib/udev/
drwxr-xr-x usr/local/lib/udev/rules.d/
-rw-r--r-- usr/local/lib/udev/rules.d/85-ostrel.rules
drwxr-xr-x usr/local/sbin/
-rwxr-xr-x usr/local/sbin/ostrel
drwxr-xr-x usr/local/share/
drwxr-xr-x usr/local/share/applications/
-rw-r--r-- usr/local/share/applications/oxu.desktop
drwxr-xr-x usr/local/share/doc/
drwxr-xr-x usr/local/share/doc/vindral-suite/
-rw-r--r-- usr/local/share/doc/vindral-suite/changelog.gz
-rw-r--r-- usr/local/share/doc/vindral-suite/copyright
drwxr-xr-x usr/local/share/icons/
drwxr-xr-x usr/local/share/icons/hicolor/
drwxr-xr-x usr/local/share/icons/hicolor/256x256/
drwxr-xr-x usr/local/share/icons/hicolor/256x256/apps/
-rw-r--r-- usr/local/share/icons/hicolor/256x256/apps/oxu.png
drwxr-xr-x usr/local/share/icons/hicolor/48x48/
drwxr-xr-x usr/local/share/icons/hicolor/48x48/apps/
-rw-r--r-- usr/local/share/icons/hicolor/48x48/apps/oxu.png
drwxr-xr-x usr/local/share/man/
drwxr-xr-x usr/local/share/man/man1/
-rw-r--r-- usr/local/share/man/man1/oxu.1.gz
-rw-r--r-- usr/local/share/man/man1/pilvor.1.gz
drwxr-xr-x usr/local/share/man/man8/
-rw-r--r-- usr/local/share/man/man8/ostrel.8.gz" "$(tree "$root")"

check_version "$root/usr/local/sbin/ostrel"
check_desktop_entry "$root" /usr/local
units=$root/usr/local/lib/systemd/system
run_as="RemainAfterExit=no StartLimitIntervalSec=0 SyslogLevel=err TimeoutStartSec=90 Type=oneshot"
same "installed unit" "ExecStart=/usr/local/sbin/ostrel $run_as" "$(how_run "$units/ostrel.service")"
same "installed unit for one interface" \
    "Environment=OSTREL_INTERFACE=%I ExecStart=/usr/local/sbin/ostrel $run_as" \
    "$(how_run "$units/ostrel@.service")"
verify_unit "$units/ostrel.service" ostrel.service "$root" /usr/local
verify_unit "$units/ostrel@.service" ostrel@eth0.service "$root" /usr/local

sb=$tmp/sandbox
# The units count as success what ostrel ends with when it loaded what it
# was started for, and for the unit of one interface also an interface that
# holds no adapter of this kind (nothing to load); every failure of a load
# fails the unit, so that systemctl --failed shows it.
is_accepted() { # is_accepted UNIT STATUS
    local s accepted
    [ "$2" -eq 0 ] && return 0
    read -r -a accepted <<< "$(sed -n 's/^SuccessExitStatus=//p' "$1")"
    for s in "${accepted[@]}"; do [ "$s" = "$2" ] && return 0; done
    return 1
}
# case | unit | instance | adapters | what is done to the sandbox ($sb) first | accepted by the unit
while IFS='|' read -r what name instance adapters prepare want; do
    rm -rf "$sb"
    "$simctl" init "$sb" --adapters "$adapters" > /dev/null
    eval "$prepare"
    status=$(run_unit "$units/$name" "$instance")
    got=no
    is_accepted "$units/$name" "$status" && got=yes
    same "$name accepts ostrel's status $status ($what)" "$want" "$got"
done <<'EOF'
loaded|ostrel.service|-|eth0||yes
no adapter|ostrel.service|-|||no
a write of the load fails|ostrel.service|-|eth0|"$simctl" fail "$sb" eth0 53 5|no
adapter unreadable before its profile exists|ostrel.service|-|eth0|"$simctl" fail "$sb" eth0 1 5|no
loaded|ostrel@.service|eth0|eth0||yes
no adapter on the interface|ostrel@.service|eth3|eth0||yes
an interface of another kind|ostrel@.service|eth0|eth0|"$simctl" set "$sb" eth0 ident=0x1234 > /dev/null|yes
a write of the load fails|ostrel@.service|eth0|eth0|"$simctl" fail "$sb" eth0 53 5|no
adapter unreadable before its profile exists|ostrel@.service|eth0|eth0|"$simctl" fail "$sb" eth0 1 5|no
profile file that cannot be made|ostrel@.service|eth0|eth0|"$simctl" filefail "$sb" etc open 30|no
profile file that cannot be read|ostrel@.service|eth0|eth0|ln -s /proc/self/mem "$sb/etc/eth0.cfg"|no
EOF

# The unit started for an adapter that appears writes that adapter alone:
# eth0, loaded when it appeared and since logged in with ZUNA, keeps the login
# and every other setting (its counters frozen, so that time changes
# nothing). ostrel.service loads every adapter.
rm -rf "$sb"
"$simctl" init "$sb" --adapters eth0,eth1 > /dev/null
status=$(run_unit "$units/ostrel@.service" eth0)
same "ostrel@eth0.service's status and the adapters written" "0 eth0" "$status $(written)"
"$simctl" set "$sb" eth0 stats_rate=0 config.auth_mode=0x1101 user.name=alice \
    password.hash=17,34,51,68 password.hash_len=4 zuna.user_set=1 zuna.password_set=1 \
    status.status_word=0x0062 > /dev/null
before=$("$simctl" show "$sb" eth0)
"$simctl" journal "$sb" --clear > /dev/null
status=$(run_unit "$units/ostrel@.service" eth1)
same "ostrel@eth1.service's status and the adapters written" "0 eth1" "$status $(written)"
same "eth0 after ostrel@eth1.service" "$before" "$("$simctl" show "$sb" eth0)"
"$simctl" journal "$sb" --clear > /dev/null
status=$(run_unit "$units/ostrel.service" -)
same "ostrel.service's status and the adapters written" "0 eth0 eth1" "$status $(written)"

# ---- cmake --install with a prefix ----------------------------------------

# Everything goes under the prefix and nothing beside it, not even a folder:
# what cmake says it installed and its list of files. It runs with a /opt
# of its own (a mount namespace), so that a fault writes nothing into this
# machine's /opt, and that is checked to be left empty.
prefix=$tmp/prefix
if ! probe=$(unshare --mount sh -c 'mount -t tmpfs tmpfs /opt' 2>&1); then
    echo "not checked: an installation with a prefix, which needs a mount namespace and an /opt: $probe"
else
    # shellcheck disable=SC2016  # expanded by the inner shell
    unshare --mount sh -euc '
        mount -t tmpfs tmpfs /opt
        cmake --install "$1" --prefix "$2" > "$3/prefix.log"
        find /opt -mindepth 1 > "$3/prefix-opt"
    ' sh "$build" "$prefix" "$tmp" || { cat "$tmp/prefix.log" >&2; fail "cmake --install --prefix failed"; }
    same "written into /opt by an installation with a prefix" "" "$(cat "$tmp/prefix-opt")"
    same "installed outside the prefix, as cmake says" "" \
        "$(sed -n 's/^-- \(Installing\|Up-to-date\): //p' "$tmp/prefix.log" | grep -v "^$prefix/" || true)"
    same "installed outside the prefix, as the list of installed files says" "" \
        "$(grep -v "^$prefix/" "$manifest" || true)"
    same "the unit of an installation with a prefix" "ExecStart=$prefix/sbin/ostrel" \
        "$(grep '^ExecStart=' "$prefix/lib/systemd/system/ostrel@.service")"
fi

# ---- the udev rule ---------------------------------------------------------

rule=$root/usr/local/lib/udev/rules.d/85-ostrel.rules

# udev_run IFACE RENAMED ACTION: udevadm's simulation of ACTION for a network
# interface that the kernel names IFACE and that an earlier rule renames to
# RENAMED (- for none). It runs in namespaces of its own: a network namespace
# holding that interface alone, seen through a sysfs of its own, a /run of
# its own for udev's database, and udev's rules folders emptied but for the
# installed rule where cmake --install puts it (/usr/local/lib/udev/rules.d,
# which udev reads) and the renaming, so that nothing of the machine's is
# read or changed.
udev_run() {
    # shellcheck disable=SC2016  # expanded by the inner shell
    unshare --mount --net sh -euc '
        rule=$1 iface=$2 renamed=$3 action=$4
        mount -t sysfs sysfs /sys
        mount -t tmpfs tmpfs /run
        for d in /etc/udev/rules.d /lib/udev/rules.d /usr/lib/udev/rules.d; do
            if [ -d "$d" ]; then mount -t tmpfs tmpfs "$d"; fi
        done
        mount -t tmpfs tmpfs /usr/local/lib
        mkdir -p /run/udev/rules.d /usr/local/lib/udev/rules.d
        cp "$rule" /usr/local/lib/udev/rules.d/
        if [ "$renamed" != - ]; then
            echo "KERNEL==\"$iface\", NAME=\"$renamed\"" > /run/udev/rules.d/50-rename.rules
        fi
        ip link add "$iface" type bridge
        udevadm test --action="$action" "/sys/class/net/$iface"
    ' sh "$rule" "$@" 2>&1
}

# What the rule asks of systemd: the units wanted and whether the device is
# tagged for systemd (which SYSTEMD_WANTS needs), or "nothing"; or udev's
# complaints about lines of the rule.
udev_asks() {
    local out wants tagged
    out=$(udev_run "$@") || { echo "udevadm failed: $out"; return; }
    if grep "/usr/local/lib/udev/rules.d/${rule##*/}:[0-9]" <<< "$out"; then return; fi
    wants=$(sed -n 's/^SYSTEMD_WANTS=//p' <<< "$out")
    tagged=
    if grep -q '^TAGS=.*:systemd:' <<< "$out"; then tagged=" (tagged systemd)"; fi
    echo "${wants:-nothing}$tagged"
}

if ! command -v udevadm > /dev/null; then
    fail "udevadm is missing (the udev package, scripts/install-deps)"
elif ! probe=$(unshare --mount --net sh -c 'ip link add eth0 type bridge' 2>&1); then
    echo "not checked: the udev rule under udevadm, which needs a network namespace with a bridge in it: $probe"
else
    # kernel's name | renamed by an earlier rule to | action | what the rule asks for
    while IFS='|' read -r iface renamed action want; do
        case=$iface
        [ "$renamed" = - ] || case="$iface renamed to $renamed"
        same "udev rule on $action of $case" "$want" "$(udev_asks "$iface" "$renamed" "$action")"
    done <<'EOF'
eth0|-|add|ostrel@eth0.service (tagged systemd)
eth4|-|add|ostrel@eth4.service (tagged systemd)
eth5|-|add|nothing
wlan0|-|add|nothing
eth2|-|change|nothing
eth2|-|remove|nothing
br9|eth1|add|ostrel@eth1.service (tagged systemd)
eth3|wl3|add|nothing
EOF
fi

# ---- the Debian package ----------------------------------------------------

(cd "$build" && cpack -G DEB -B "$tmp/pkg") > "$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log" >&2; exit 1; }
debs=("$tmp"/pkg/*.deb)
[ ${#debs[@]} -eq 1 ] || { fail "cpack made ${#debs[@]} packages"; exit 1; }
deb=${debs[0]}
same "package file name" "vindral-suite_1.5.1_$(dpkg --print-architecture).deb" "$(basename "$deb")"

same "files in the package" "\
drwxr-xr-x root/root usr/
drwxr-xr-x root/root usr/bin/
-rwxr-xr-x root/root usr/bin/oxu
-rwxr-xr-x root/root usr/bin/pilvor
drwxr-xr-x root/root usr/lib/
drwxr-xr-x root/root usr/lib/systemd/
drwxr-xr-x root/root usr/lib/systemd/system/
-rw-r--r-- root/root usr/lib/systemd/system/ostrel.service
-rw-r--r-- root/root usr/lib/systemd/system/ostrel@.service
drwxr-xr-x root/root usr/lib/udev/
drwxr-xr-x root/root usr/lib/udev/rules.d/
-rw-r--r-- root/root usr/lib/udev/rules.d/85-ostrel.rules
drwxr-xr-x root/root usr/sbin/
-rwxr-xr-x root/root usr/sbin/ostrel
drwxr-xr-x root/root usr/share/
drwxr-xr-x root/root usr/share/applications/
-rw-r--r-- root/root usr/share/applications/oxu.desktop
drwxr-xr-x root/root usr/share/doc/
drwxr-xr-x root/root usr/share/doc/vindral-suite/
-rw-r--r-- root/root usr/share/doc/vindral-suite/changelog.gz
-rw-r--r-- root/root usr/share/doc/vindral-suite/copyright
drwxr-xr-x root/root usr/share/icons/
drwxr-xr-x root/root usr/share/icons/hicolor/
drwxr-xr-x root/root usr/share/icons/hicolor/256x256/
drwxr-xr-x root/root usr/share/icons/hicolor/256x256/apps/
-rw-r--r-- root/root usr/share/icons/hicolor/256x256/apps/oxu.png
drwxr-xr-x root/root usr/share/icons/hicolor/48x48/
drwxr-xr-x root/root usr/share/icons/hicolor/48x48/apps/
-rw-r--r-- root/root usr/share/icons/hicolor/48x48/apps/oxu.png
drwxr-xr-x root/root usr/share/lintian/
drwxr-xr-x root/root usr/share/lintian/overrides/
-rw-r--r-- root/root usr/share/lintian/overrides/vindral-suite
drwxr-xr-x root/root usr/share/man/
drwxr-xr-x root/root usr/share/man/man1/
-rw-r--r-- root/root usr/share/man/man1/oxu.1.gz
-rw-r--r-- root/root usr/share/man/man1/pilvor.1.gz
drwxr-xr-x root/root usr/share/man/man8/
-rw-r--r-- root/root usr/share/man/man8/ostrel.8.gz" \
    "$(dpkg-deb -c "$deb" | awk '{ sub("^\\./", "", $6); print $1, $2, $6 }' | sort -k3)"

# The dependencies come from the programs' shared libraries.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libgtkmm-3.0-1v5; do
    [[ ", $depends," == *", $lib ("* ]] || fail "package depends on $lib with a version: $depends"
done

pkgroot=$tmp/pkgroot
dpkg-deb -x "$deb" "$pkgroot"
dpkg-deb -e "$deb" "$tmp/control"
check_version "$pkgroot/usr/sbin/ostrel"
check_desktop_entry "$pkgroot" /usr
same "packaged unit" "ExecStart=/usr/sbin/ostrel $run_as" \
    "$(how_run "$pkgroot/usr/lib/systemd/system/ostrel.service")"
same "packaged unit for one interface" "Environment=OSTREL_INTERFACE=%I ExecStart=/usr/sbin/ostrel $run_as" \
    "$(how_run "$pkgroot/usr/lib/systemd/system/ostrel@.service")"
cmp -s "$rule" "$pkgroot/usr/lib/udev/rules.d/85-ostrel.rules" ||
    fail "the package's udev rule differs from the one cmake --install installs"

# The maintainer scripts, run as dpkg runs them on a root other than /.
maint() {
    DPKG_ROOT=$pkgroot DPKG_MAINTSCRIPT_PACKAGE=vindral-suite sh "$tmp/control/$1" "${@:2}" \
        || fail "$* ended with status $?"
}
wants=$pkgroot/etc/systemd/system/multi-user.target.wants/ostrel.service
prefs=$pkgroot/opt/tavlo/OXU.PRFS
maint postinst configure
same "links made on installation (the udev rule starts the unit)" "" \
    "$(find "$pkgroot/etc" -type l -printf '%P\n' 2>/dev/null)"
same "folders made on installation" "drwxr-xr-x opt
drwxr-xr-x opt/tavlo
drwxr-xr-x opt/tavlo/helpml" "$(cd "$pkgroot" && find opt -type d -printf '%M %p\n' | sort)"
same "preferences file made for all users" "-rw-rw-rw- 0" "$(stat -c '%A %s' "$prefs" 2>&1)"
echo stored > "$prefs"
maint postinst configure 1.5.1
same "preferences kept on upgrade" stored "$(cat "$prefs")"
maint postrm remove
maint postrm purge
same "links and preferences left after purge" "" \
    "$(find "$pkgroot/etc" "$pkgroot/opt" \( -type l -o -type f \) -printf '%P\n' 2>/dev/null)"
# Earlier packages enabled the unit at boot through deb-systemd-helper: an
# upgrade takes that link and its record away.
dpkg-deb -x "$deb" "$pkgroot"
printf '[Service]\nExecStart=/usr/sbin/ostrel\n[Install]\nWantedBy=multi-user.target\n' \
    > "$pkgroot/usr/lib/systemd/system/ostrel.service"
DPKG_ROOT=$pkgroot DPKG_MAINTSCRIPT_PACKAGE=vindral-suite deb-systemd-helper enable ostrel.service
[ -L "$wants" ] || fail "deb-systemd-helper did not enable the earlier unit"
dpkg-deb -x "$deb" "$pkgroot"
maint postinst configure 1.5.1
same "links and records of an earlier enabling left after an upgrade" "" \
    "$(find "$pkgroot/etc" "$pkgroot/var" \( -type l -o -type f \) -printf '%P\n' 2>/dev/null)"

# Installed and purged by dpkg itself in a root of its own, which has the
# /opt of a Debian system: dpkg removes on purge every empty folder that a
# package shipped, so the package ships none that it did not make. Help pages
# put into the help folder keep it and /opt/tavlo.
droot=$tmp/dpkg-root
dpkg_root() {
    local status=0
    dpkg --root="$droot" --force-script-chrootless --force-depends --log=/dev/null "$@" \
        > "$tmp/dpkg.log" 2>&1 || status=$?
    [ "$status" -eq 0 ] || { cat "$tmp/dpkg.log" >&2; fail "dpkg $* ended with status $status"; }
}
if [ "$(id -u)" -eq 0 ]; then
    # help page put in | what is left under /opt after the purge
    while IFS='|' read -r page left; do
        rm -rf "$droot"
        mkdir -p "$droot/var/lib/dpkg/info" "$droot/var/lib/dpkg/updates" "$droot/opt"
        touch "$droot/var/lib/dpkg/status" "$droot/var/lib/dpkg/available"
        dpkg_root --install "$deb"
        [ "$page" = - ] || touch "$droot/opt/tavlo/helpml/$page"
        dpkg_root --purge vindral-suite
        same "/opt after a purge by dpkg (help page: $page)" "$left" \
            "$(cd "$droot" && find opt \( -type d -printf '%p/ ' \) -o -printf '%p ' | sed 's/ $//')"
    done <<'EOF'
-|opt/
Status.htm|opt/ opt/tavlo/ opt/tavlo/helpml/ opt/tavlo/helpml/Status.htm
EOF
else
    echo "not checked: dpkg's own install and purge, which need root"
fi

if ! lintian --fail-on error "$deb" > "$tmp/lintian.log" 2>&1; then
    fail "lintian reports errors"
    cat "$tmp/lintian.log" >&2
fi
# Nothing at all about the manual pages, down to the pedantic remarks: every
# program has one, compressed and named as Debian wants, and each renders
# cleanly.
lintian --pedantic --display-info "$deb" > "$tmp/lintian-all.log" 2>&1 || true
if grep -E 'manual-page|manpage|whatis|groff-message|\[usr/share/man/' "$tmp/lintian-all.log" >&2; then
    fail "lintian has the remarks above on the manual pages"
fi
# A release build has the hardening of Debian's own packages; a Debug or
# sanitized one has not, and says so.
if [ "${HARDENED:-ON}" = ON ]; then
    if grep -E 'hardening-' "$tmp/lintian-all.log" >&2; then
        fail "lintian finds the programs above built without Debian's hardening"
    fi
else
    echo "not checked: the hardening, which a Debug or sanitized build (HARDENED=$HARDENED) leaves out"
fi

[ "$failures" -eq 0 ] || { echo "$failures failures" >&2; exit 1; }
echo "installation and package as expected"
