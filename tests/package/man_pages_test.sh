#!/usr/bin/env bash
# The manual pages render without a warning and name every command and option that the
# programs' --help lists.
# Usage: man_pages_test.sh SOURCE_DIR BUILD_DIR
SRC=$1
BUILD=$2
. "$SRC/tests/support/check.sh"
require_tool man
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
private_profile "$WORK"

for program in telva telva-cli; do
    page=$SRC/docs/man/$program.1
    MANWIDTH=100 man -l --warnings "$page" >"$WORK/$program.txt" 2>"$WORK/$program.err" || true
    check "$program(1) renders" test -s "$WORK/$program.txt"
    check "$program(1) renders without warnings" test ! -s "$WORK/$program.err"
    cat "$WORK/$program.err" >&2
    # The page's source with groff's escaped minus as the plain one the help shows.
    sed 's/\\-/-/g; s/\\f[BIRP]//g' "$page" >"$WORK/$program.src"
    "$BUILD/$program" --help >"$WORK/$program.help"
    # Options: every --word and -letter token; commands: the first words of the command lines.
    mapfile -t words < <({
        grep -oE '(^|[ [|])--?[a-z][a-z0-9-]*' "$WORK/$program.help" | sed 's/^[ [|]//'
        sed -n '/^Команды:/,$p' "$WORK/$program.help" | sed -n 's/^  \([a-z][a-z-]*\).*/\1/p'
    } | sort -u)
    check "$program --help lists something" test "${#words[@]}" -gt 3
    for word in "${words[@]}"; do
        check "$program(1) names $word" grep -qw -- "$word" "$WORK/$program.src"
    done
done
finish
