#!/usr/bin/env bash
# The tree "cmake --install" makes: programs that run, desktop files their validators accept,
# and file types the desktop maps to the window.
# Usage: install_tree_test.sh SOURCE_DIR BUILD_DIR
SRC=$1
BUILD=$2
. "$SRC/tests/support/check.sh"
for tool in desktop-file-validate appstreamcli xmllint update-mime-database \
    update-desktop-database xdg-mime mimetype; do
    require_tool "$tool"
done
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
private_profile "$WORK"
TREE=$WORK/tree
cmake --install "$BUILD" --prefix "$TREE" >/dev/null
SHARE=$TREE/share
export XDG_DATA_DIRS=$SHARE

check "telva-cli runs from the tree" test "$("$TREE/bin/telva-cli" --version)" = "$(
    sed -n 's/^project(telva VERSION \([0-9.]*\).*/\1/p' "$SRC/CMakeLists.txt")"
check "Russian texts stay UTF-8 under LANG=C" bash -c \
    "LANG=C LC_ALL=C '$TREE/bin/telva-cli' --help | grep -q 'Использование: telva-cli'"
check "telva answers --help without a screen" test -n "$("$TREE/bin/telva" --help)"
check "desktop entry" desktop-file-validate "$SHARE/applications/telva.desktop"
check "AppStream metainfo" appstreamcli validate --no-net "$SHARE/metainfo/ru.kvb.telva.metainfo.xml"
check "MIME package is well-formed" xmllint --noout "$SHARE/mime/packages/telva.xml"
check "icon sizes" test -s "$SHARE/icons/hicolor/48x48/apps/telva.png" -a \
    -s "$SHARE/icons/hicolor/scalable/apps/telva.svg"
check "MIME database builds" update-mime-database "$SHARE/mime"
check "desktop database builds" update-desktop-database "$SHARE/applications"

# Every encrypted report's extension, from the report-kind table, and the receipt's.
mapfile -t kinds < <(sed -n 's/.*QStringLiteral("\(e[a-z0-9]*\)"), QStringLiteral(".*/\1/p' \
    "$SRC/src/app/report_kind.cpp")
check "report kinds found" test "${#kinds[@]}" -eq 3
for ext in p7e "${kinds[@]}"; do
    want=application/x-telva-report
    [ "$ext" = p7e ] && want=application/x-telva-receipt
    printf '\x30\x80\x06\x09' >"$WORK/sample.$ext"
    check "*.$ext is $want" test "$(xdg-mime query filetype "$WORK/sample.$ext")" = "$want"
    check "$want opens in the window" \
        test "$(xdg-mime query default "$want")" = telva.desktop
done
finish
