#!/usr/bin/env bash
# The Debian package: built by CPack as "make deb" does, accepted by lintian without an
# error, and its unpacked programs sign a report that the fund's key opens.
# Usage: deb_test.sh SOURCE_DIR BUILD_DIR
SRC=$1
BUILD=$2
. "$SRC/tests/support/check.sh"
for tool in cpack dpkg-deb lintian openssl; do
    require_tool "$tool"
done
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
private_profile "$WORK"

VERSION=$(sed -n 's/^project(telva VERSION \([0-9.]*\).*/\1/p' "$SRC/CMakeLists.txt")
DEB=$WORK/telva_${VERSION}_$(dpkg --print-architecture).deb
(cd "$BUILD" && cpack -G DEB -B "$WORK" >"$WORK/cpack.log" 2>&1) || { cat "$WORK/cpack.log" >&2; exit 1; }
check "package file name" test -f "$DEB"
check "depends on the GOST engine" grep -q libengine-gost-openssl <(dpkg-deb -f "$DEB" Depends)
dpkg-deb -e "$DEB" "$WORK/control"
check "no maintainer script reaches the network" bash -c "! cat '$WORK'/control/{pre,post}{inst,rm} \
    2>/dev/null | grep -qE 'curl|wget|apt|http'"
# With the informational tags, where bindnow and PIE are reported.
lintian --display-info --tag-display-limit 0 "$DEB" >"$WORK/lintian.txt" 2>/dev/null || true
cat "$WORK/lintian.txt"
check "lintian finds no error" bash -c "! grep -q '^E:' '$WORK/lintian.txt'"
check "the programs are hardened" bash -c "! grep -q ' hardening-no-' '$WORK/lintian.txt'"

ROOT=$WORK/root
dpkg-deb -x "$DEB" "$ROOT"
CLI=$ROOT/usr/bin/telva-cli
check "telva-cli --version from the package" test "$("$CLI" --version)" = "$VERSION"

# A personal certificate and the fund's from the simulator's demo authority; the signing
# itself runs only on the unpacked program.
SIM=$BUILD/tools/gateway-sim/telva-gateway-sim
"$SIM" --state "$WORK/sim" --issue-personal "$WORK/keys" >/dev/null
serial() { openssl x509 -inform "$1" -in "$2" -noout -serial | cut -d= -f2; }
"$CLI" certs import --store 0 "$WORK/keys/personal.cer" --key "$WORK/keys/personal.key" >/dev/null
"$CLI" certs choose personal --store 0 --serial "$(serial DER "$WORK/keys/personal.cer")" >/dev/null
"$CLI" certs import --store 7 "$WORK/sim/pki/ap.cer" >/dev/null
"$CLI" certs choose fund --store 7 --serial "$(serial DER "$WORK/sim/pki/ap.cer")" >/dev/null
REPORT=$WORK/report.xml
{
    printf '<?xml version="1.0" encoding="windows-1251"?>\n<R7REPORT><TITLE>'
    for i in $(seq 1 40); do printf '<ROW>%d</ROW>' "$i"; done
    printf '</TITLE></R7REPORT>\n'
} >"$REPORT"
check "the packaged telva-cli signs and encrypts" "$CLI" --yes sign "$REPORT"
check "the fund's key opens it" openssl cms -decrypt -engine gost -inform DER \
    -in "$WORK/report.er7" -recip "$WORK/sim/pki/ap.cer" -inkey "$WORK/sim/pki/ap.key" \
    -out "$WORK/signed.der"
check "the signature holds the report" openssl cms -verify -engine gost -inform DER \
    -in "$WORK/signed.der" -noverify -out "$WORK/plain.xml"
check "the report came back whole" cmp -s "$REPORT" "$WORK/plain.xml"
finish
