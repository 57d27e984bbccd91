#!/usr/bin/env bash
# manual_pages_test.sh SOURCE_DIR
#
# The manual pages in docs/: each renders without a warning, both through
# groff and the way man(1) and lintian run it; each has the sections a reader
# looks for, and its FILES name the suite's files; and each names the same
# exit statuses, with the same meanings, as the README's table for its
# program. (exit_status_test.sh runs the programs into them.)
set -euo pipefail

src=$(cd "$1" && pwd)
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# shellcheck source-path=SCRIPTDIR
. "$(dirname "$0")/doc_text.sh"

for page in oxu.1 pilvor.1 ostrel.8; do
    file=$src/docs/$page
    program=${page%.*}

    out=$(groff -man -Tutf8 -ww -z "$file" 2>&1) || fail "groff ended with status $? on $page"
    [ -z "$out" ] || fail "groff warns on $page: $out"
    # As lintian renders a page (its groff-message tag).
    out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$file" 2>&1 >/dev/null) ||
        fail "man ended with status $? on $page"
    [ -z "$out" ] || fail "man warns on $page: $out"

    text=$(plain "$file")
    for heading in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES "SEE ALSO"; do
        grep -qx "$heading" <<< "$text" || fail "$page has no $heading"
    done
    # What whatis and apropos show.
    name=$(section NAME <<< "$text" | squeeze)
    [[ $name == "$program - "?* ]] || fail "$page's NAME line: '$name'"

    files=$(section FILES <<< "$text")
    wanted=(/etc/IFACE.cfg /opt/tavlo/OXU.PRFS /opt/tavlo/helpml/)
    [ "$program" = ostrel ] && wanted+=(ostrel@.service ostrel.service 85-ostrel.rules /run/ostrel.lock)
    for f in "${wanted[@]}"; do
        grep -qF "$f" <<< "$files" || fail "$page's FILES do not name $f"
    done

    want=$(readme_statuses "$program")
    if [ -z "$want" ]; then
        fail "README has no exit status table for $program"
    elif [ "$want" != "$(page_statuses "$file")" ]; then
        fail "$page's exit statuses differ from the README's (< README, > page)"
        diff <(echo "$want") <(page_statuses "$file") >&2 || true
    fi
done

# The variable that the unit for one interface sets is the one that ostrel's
# page and the README's section on it describe.
variable=$(sed -n 's/^Environment=\([A-Z_]*\)=%I$/\1/p' "$src/packaging/ostrel@.service.in")
if [ -z "$variable" ]; then
    fail "ostrel@.service.in sets no variable to the instance name"
else
    section ENVIRONMENT <<< "$(plain "$src/docs/ostrel.8")" | grep -qx " *$variable" ||
        fail "ostrel.8's ENVIRONMENT does not describe $variable"
    awk '/^## / { in_it = ($0 == "## ostrel") } in_it' "$src/README.md" | grep -qF "\`$variable\`" ||
        fail "the README's ostrel section does not name $variable"
fi

[ "$failures" -eq 0 ] || { echo "$failures failures" >&2; exit 1; }
echo "manual pages as expected"
