# Sourced by the tests that read the manual pages and the README as a reader
# does. src must name the source folder.

# The page as plain text, one line per paragraph, without fonts.
plain() { groff -man -Tascii -P-cbou -rLL=3000n "$1" 2>/dev/null; }

# section TITLE < plain text: the lines under that heading.
section() { awk -v want="$1" '/^[A-Z]/ { in_it = ($0 == want); next } in_it'; }

# "STATUS MEANING" lines, blanks squeezed, code marks and fonts gone.
squeeze() { sed 's/`//g; s/[[:space:]]\{1,\}/ /g; s/^ //; s/ $//'; }

# The README's exit statuses of PROGRAM, from the table in its section.
readme_statuses() {
    awk -v want="## $1" '/^## / { in_it = ($0 == want); next }
        in_it && /^\| *[0-9]+ *\|/ { sub(/^\| */, ""); sub(/ *\| *$/, ""); sub(/ *\| */, " "); print }' \
        "$src/README.md" | squeeze
}

# The exit statuses of a page, as "STATUS MEANING" lines.
page_statuses() { plain "$1" | section "EXIT STATUS" | grep -E '^ +[0-9]+ ' | squeeze; }
