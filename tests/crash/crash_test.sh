#!/usr/bin/env bash
# Kills telva-cli with SIGKILL at many points of its work against the gateway simulator (while
# it signs, uploads, waits for the answer, files the report, downloads and checks a receipt),
# runs it again each time as a script would (no --again, no terminal: every "send again?"
# question is answered No), and checks afterwards that
#   - every report the simulator holds is in the archive exactly once, whole, or is listed as
#     an unconfirmed send;
#   - no report reached the simulator twice;
#   - no file under a final name is partial, and no temporary file is left behind;
#   - programs sending at once lost no entry of the index of sent files.
# Usage: crash_test.sh BUILD_FOLDER [KILLS]
set -uo pipefail

BUILD=$(cd "$1" && pwd)
KILLS=${2:-15}
SIM="$BUILD/tools/gateway-sim/telva-gateway-sim"
CLI="$BUILD/tests/crash-cli"
for program in "$SIM" "$CLI"; do
    [ -x "$program" ] || { echo "crash test: $program is missing" >&2; exit 1; }
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/telva-crash.XXXXXX")
SIM_PID=""
cleanup() {
    [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null
    wait 2>/dev/null
    if [ "${KEEP_WORK:-0}" = 1 ]; then echo "work folder kept: $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT
fail() {
    echo "crash test FAILED: $*" >&2
    KEEP_WORK=1
    exit 1
}

export HOME="$WORK/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
export XDG_STATE_HOME="$HOME/.local/state" XDG_CACHE_HOME="$HOME/.cache"
export XDG_RUNTIME_DIR="$WORK/runtime"
unset CRYPT_PARAMS http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY all_proxy DISPLAY
export no_proxy=127.0.0.1,localhost NO_PROXY=127.0.0.1,localhost
mkdir -p "$XDG_CONFIG_HOME/KVB" "$XDG_DATA_HOME" "$XDG_STATE_HOME" "$XDG_CACHE_HOME"
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
STATE="$WORK/sim-state"
REPORTS="$WORK/reports"
ARC="$XDG_DATA_HOME/KVB/TELVA/R7/ARC"
JOURNAL="$XDG_STATE_HOME/KVB/TELVA/R7/send-journal.tsv"
mkdir -p "$REPORTS"

# --- the simulator, the profile, the certificates ---------------------------------------
"$SIM" --state "$STATE" --issue-personal "$WORK/keys" >/dev/null || fail "no personal key"
"$SIM" --port 0 --state "$STATE" --processing 0 --delay /uploadfile=400 --delay /invoice=300 \
    --log "$WORK/sim.log" >"$WORK/sim.out" &
SIM_PID=$!
PORT=""
for _ in $(seq 1 200); do
    PORT=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$WORK/sim.out")
    [ -n "$PORT" ] && break
    kill -0 "$SIM_PID" 2>/dev/null || fail "the simulator did not start"
    sleep 0.1
done
[ -n "$PORT" ] || fail "the simulator did not report its port"
PROVIDER=$("$CLI" providers | head -n 1 | sed -E 's/^[ *]+//' | cut -f 1)
{
    echo "[General]"
    for host in KVBSiteHost GateHost DocGateHost TestGateHost StyleHost; do
        echo "$host=127.0.0.1:$PORT"
    done
    echo "ProvName=$PROVIDER"
} >"$XDG_CONFIG_HOME/KVB/TELVA.conf"
SERIAL=$(openssl x509 -in "$WORK/keys/personal.pem" -noout -serial | sed 's/^serial=//')
"$CLI" certs import --store 0 "$WORK/keys/personal.cer" --key "$WORK/keys/personal.key" \
    >/dev/null || fail "certs import"
"$CLI" certs choose personal --store 0 --serial "$SERIAL" >/dev/null || fail "certs choose"
"$CLI" --yes install-certs >/dev/null || fail "install-certs"

# --- reports: every batch is new content, from some KB to a few hundred ---------------------
made=0
make_batch() { # folder count
    mkdir -p "$1"
    for i in $(seq 1 "$2"); do
        made=$((made + 1))
        # The first of a batch is large, so that its signing, upload and filing take a while.
        local persons=$((i == 1 ? 30000 + RANDOM % 10000 : RANDOM % 2000 + 50))
        awk -v n="$made" -v persons="$persons" -v seed="$RANDOM" 'BEGIN {
            srand(seed)
            printf "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<R7REPORT><TITLE>"
            printf "<PERIOD>2026-%d</PERIOD><REGNUM>77%08d</REGNUM></TITLE><PERSONS>", n % 4 + 1, n
            for (p = 1; p <= persons; p++)
                printf "<PERSON><FIO>Person %d-%d</FIO><SUM>%d.00</SUM></PERSON>", n, p, int(rand() * 100000)
            printf "</PERSONS></R7REPORT>\n"
        }' >"$1/report-$made.xml"
    done
}

# --- one killed run ------------------------------------------------------------------------
kills=0
declare -A phases=()
# The phase a killed run was in, from what it printed (-v) and what it left in the journal.
phase_of() { # stderr-file kind uploads-seen-before-the-kill
    if [ "$2" = receipt ]; then
        if grep -q 'Получено\|загрузка' "$1"; then echo receipt-download; else echo receipt-check; fi
        return
    fi
    local journal_state=none
    if [ -s "$JOURNAL" ]; then
        journal_state=$(awk -F'\t' '
            $1 == "I" { open[$2] = 1 } $1 == "R" { rec[$2] = 1 } $1 == "F" { done[$2] = 1 }
            END { s = "none"
                  for (t in open) if (!(t in done)) { if (t in rec) s = "filing"; else if (s != "filing") s = "sending" }
                  print s }' "$JOURNAL")
    fi
    local last
    last=$(tail -n 1 "$1")
    if [ "$journal_state" = filing ]; then
        echo filing
    elif [ "$journal_state" = sending ]; then
        # The simulator takes a report whose body arrived whole once its answer delay is over.
        sleep 0.6
        if [ "$(grep -c 'upload: file' "$WORK/sim.log")" -gt "$3" ]; then
            echo waiting-for-answer
        else
            echo upload
        fi
    elif [[ "$last" == *"Подпись"* ]]; then
        echo signing
    else
        echo between-steps
    fi
}

# Starts the command, kills it after the delay (ms) unless it ended first; counts the kill.
run_killed() { # kind delay-ms args...
    local kind=$1 delay=$2
    shift 2
    local err="$WORK/run.err"
    "$CLI" -v "$@" </dev/null >"$WORK/run.out" 2>"$err" &
    local pid=$!
    sleep "$(awk "BEGIN { print $delay / 1000 }")"
    local uploads
    uploads=$(grep -c 'upload: file' "$WORK/sim.log")
    if kill -KILL "$pid" 2>/dev/null; then
        wait "$pid" 2>/dev/null
        kills=$((kills + 1))
        local phase
        phase=$(phase_of "$err" "$kind" "$uploads")
        phases[$phase]=$((${phases[$phase]:-0} + 1))
    else
        wait "$pid" 2>/dev/null
    fi
}

# A report of the archive still without its receipt, if there is one.
report_to_refresh() {
    "$CLI" reports list </dev/null 2>/dev/null | awk -F'\t' '$5 == "Обрабатывается." { print $1; exit }'
}

batch=0
previous=""
while [ "$kills" -lt "$KILLS" ]; do
    batch=$((batch + 1))
    current="$REPORTS/batch-$batch"
    make_batch "$current" 2
    # A quarter of the kills early, in the start and the first signing; the rest anywhere.
    delay=$((RANDOM % 4 == 0 ? RANDOM % 300 + 20 : RANDOM % 2000 + 1))
    case $((batch % 6)) in
    0)
        id=$(report_to_refresh)
        if [ -n "$id" ]; then
            run_killed receipt "$delay" reports refresh "$id"
        fi
        ;;
    3)
        # Two programs at once on folders of their own; one of them is killed.
        "$CLI" send-all "$current" </dev/null >/dev/null 2>&1 &
        other=$!
        run_killed send "$delay" send-all ${previous:+"$previous"} "$current"
        wait "$other"
        ;;
    *)
        run_killed send "$delay" send-all ${previous:+"$previous"} "$current"
        ;;
    esac
    # The run after a kill: the same folders again, as a script would repeat it.
    "$CLI" send-all ${previous:+"$previous"} "$current" </dev/null >/dev/null 2>&1
    previous=$current
done

# --- the final run over everything, then the checks -------------------------------------------
"$CLI" send-all "$REPORTS"/batch-* </dev/null >"$WORK/final.out" 2>&1
"$CLI" reports list --json </dev/null >"$WORK/list.json" 2>/dev/null || fail "reports list"
"$SIM" --state "$STATE" --list-received >"$WORK/received.tsv" || fail "simulator list"

held=$(wc -l <"$WORK/received.tsv")
# The source of every report, by the SHA-256 of its content.
declare -A source_of=()
for f in "$REPORTS"/batch-*/*.xml; do
    source_of[$(sha256sum "$f" | cut -d' ' -f1)]=$f
done
declare -A unconfirmed_hash=()
if [ -s "$JOURNAL" ]; then
    while read -r hash; do unconfirmed_hash[$hash]=1; done < <(awk -F'\t' '
        $1 == "I" { out[$2] = $4 } $1 == "R" || $1 == "F" { delete out[$2] }
        END { for (t in out) print out[t] }' "$JOURNAL")
fi
listed_unconfirmed=$(grep -o 'отправка не подтверждена' "$WORK/list.json" | wc -l)
[ "$listed_unconfirmed" -eq "${#unconfirmed_hash[@]}" ] ||
    fail "$listed_unconfirmed unconfirmed rows listed, ${#unconfirmed_hash[@]} in the journal"

declare -A seen_content=()
archived=0
unconfirmed=0
while IFS=$'\t' read -r id upload content _; do
    [ -z "${seen_content[$content]:-}" ] || fail "report content sent twice: $id and ${seen_content[$content]}"
    seen_content[$content]=$id
    source=${source_of[$content]:-}
    [ -n "$source" ] || fail "the simulator holds $id whose source is unknown"
    folder="$ARC/$id"
    if [ -d "$folder" ]; then
        archived=$((archived + 1))
        [ -s "$folder/$id.inf" ] || fail "$id: no sender's note"
        name=$(basename "$source")
        cmp -s "$folder/$name" "$source" || fail "$id: the source copy differs from $source"
        [ "$(sha256sum "$folder/${name%.xml}.er7" | cut -d' ' -f1)" = "$upload" ] ||
            fail "$id: the encrypted copy is not what was uploaded"
    elif [ -n "${unconfirmed_hash[$upload]:-}" ]; then
        unconfirmed=$((unconfirmed + 1))
    else
        fail "$id is held by the simulator but neither archived nor unconfirmed"
    fi
done <"$WORK/received.tsv"

# Each source is archived at most once, and every archived report is one the simulator holds.
declare -A archived_source=()
for folder in "$ARC"/*/; do
    [ -d "$folder" ] || continue
    id=$(basename "$folder")
    grep -q "^$id	" "$WORK/received.tsv" || fail "$id is archived but the simulator never got it"
    for f in "$folder"report-*.xml; do
        hash=$(sha256sum "$f" | cut -d' ' -f1)
        [ -z "${archived_source[$hash]:-}" ] || fail "$f is archived twice"
        archived_source[$hash]=$id
        grep -q "^$hash	" "$XDG_DATA_HOME/KVB/TELVA/R7/sent-index.tsv" ||
            fail "$f is missing from the index of sent files"
    done
    receipt="$folder$id.p7e"
    if [ -e "$receipt" ]; then
        cmp -s "$receipt" "$STATE/reports/$id/receipt.p7e" || fail "$receipt is partial"
        [ ! -e "$folder$id.zip" ] || unzip -tqq "$folder$id.zip" >/dev/null ||
            fail "$folder$id.zip is partial"
    fi
done
# Every encrypted report left in the report folders is whole.
for f in "$REPORTS"/batch-*/*.er7; do
    openssl asn1parse -inform DER -in "$f" >/dev/null 2>&1 || fail "$f is partial"
done
stray=$(find "$WORK" -name '.telva-*' | wc -l)
[ "$stray" -eq 0 ] || fail "temporary files left: $(find "$WORK" -name '.telva-*' | head -3)"

phase_text=""
for phase in $(printf '%s\n' "${!phases[@]}" | sort); do
    phase_text+=" $phase=${phases[$phase]}"
done
echo "kills: $kills; phases hit:$phase_text"
echo "reports made: $made; held by the simulator: $held; archived: $archived;" \
    "unconfirmed: $unconfirmed; sent twice: 0; stray temporaries: 0"
echo "crash test passed"
