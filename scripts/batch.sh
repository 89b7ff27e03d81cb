#!/usr/bin/env bash
# Runs one host script over a cohort of scans: the host headless once per scan, JOBS at once.
#   scripts/batch.sh [-o DIR] SCRIPT LIST [JOBS]
#
# LIST holds one data source a line in the host's --data notation (phantom[:XxYxZ],
# dicom:DIR, nifti:FILE, raw:FILE:XxYxZ[:DX,DY,DZ]); blank lines and lines starting with '#'
# are skipped, relative paths are taken from the current folder. Each scan gets a name made
# from its source (nifti:/x/example_ct_sm.nii.gz -> example_ct_sm, dicom:/x/series ->
# series, phantom:64x64x64 -> phantom-64x64x64; a name already taken gets -2, -3, ...) and a
# folder DIR/NAME (DIR: batch-out in the current folder) in which the host runs, so that the
# files the script writes by relative paths land there. "{name}" in SCRIPT stands for the
# name; the script so written is kept as script.txt, the host's output as stdout.txt and
# stderr.txt. DIR/summary.csv has one row per scan in LIST order:
#   scan,name,status,seconds,volume,spacing,density,regions,triangles
# status is the host's exit status (128 + N when signal N ended it, 127 when it could not
# start), seconds its running time, and the rest comes from the scan's last "print info"
# (empty when there is none).
#
# The host is $VELMORA when set, else build/host/velmora of this repository. JOBS (default:
# the number of processors) scans run at once, with GNU parallel; without a display each
# gets its own Xvfb server. Exit status: 0 when every scan succeeded, 1 when one failed,
# 2 for a usage error.
set -euo pipefail
shopt -u patsub_replacement 2>/dev/null || true

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VELMORA="${VELMORA:-$ROOT/build/host/velmora}"
export NO_AT_BRIDGE="${NO_AT_BRIDGE:-1}"

usage()
{
    [ $# -gt 0 ] && echo "batch.sh: $*" >&2
    echo "usage: scripts/batch.sh [-o DIR] SCRIPT LIST [JOBS]" >&2
    exit 2
}

# A file-name-safe name for a data source: the file or folder name without its extension,
# or the phantom and its size.
scan_name()
{
    local source="$1" path name
    case "$source" in
        phantom) name=phantom ;;
        phantom:*) name="phantom-${source#phantom:}" ;;
        dicom:*) name="$(basename -- "$(realpath -ms -- "${source#dicom:}/")")" ;;
        nifti:* | raw:*)
            path="${source#*:}"
            if [[ "$source" =~ ^raw:(.*):[0-9]+x[0-9]+x[0-9]+(:[^:]*)?$ ]]; then
                path="${BASH_REMATCH[1]}"
            fi
            name="$(basename -- "$path")"
            name="${name%.gz}"
            name="${name%.*}"
            ;;
        *) name="$source" ;;
    esac
    name="${name//[^A-Za-z0-9._+-]/_}"
    name="${name:0:100}"
    # No hidden folders, nothing that reads as an option, never . or ..
    [[ "$name" == [.-]* ]] && name="_${name:1}"
    echo "${name:-scan}"
}

# The source with its path made absolute, since the host runs in the scan's folder.
absolute_source()
{
    local source="$1" kind path rest=""
    case "$source" in
        dicom:* | nifti:* | raw:*) ;;
        *) echo "$source"; return ;;
    esac
    kind="${source%%:*}"
    path="${source#*:}"
    if [ "$kind" = raw ] && [[ "$source" =~ ^raw:(.*)(:[0-9]+x[0-9]+x[0-9]+(:[^:]*)?)$ ]]; then
        path="${BASH_REMATCH[1]}"
        rest="${BASH_REMATCH[2]}"
    fi
    [ -n "$path" ] && [[ "$path" != /* ]] && path="$(realpath -ms -- "$path")"
    echo "$kind:$path$rest"
}

# One scan: runs the host in FOLDER on SOURCE and writes "STATUS SECONDS" to RESULT (also
# when the job is interrupted: the signal's status). A private Xvfb is started when there is
# no display; it picks a free display number itself (-displayfd), so that any number of jobs
# and batches can start at once.
run_scan()
{
    local folder="$1" source="$2" result="$3" status=127 start end xpid="" hostpid="" display
    local work="$result.x"
    cd "$folder"
    : >stdout.txt
    : >stderr.txt
    cleanup()
    {
        [ -n "$hostpid" ] && kill "$hostpid" 2>/dev/null
        [ -n "$xpid" ] && kill "$xpid" 2>/dev/null && wait "$xpid" 2>/dev/null
        rm -rf "$work"
    }
    finish()
    {
        status="$1"
        [ -z "$hostpid" ] || end=${EPOCHREALTIME//[!0-9]/}
        cleanup
        local centi=$(((end - start + 5000) / 10000)) seconds
        seconds="$((centi / 100)).$(printf '%02d' $((centi % 100)))"
        echo "$status $seconds" >"$result"
        echo "$(basename -- "$folder"): status $status, $seconds s"
    }
    trap 'finish 129; exit 129' HUP
    trap 'finish 130; exit 130' INT
    trap 'finish 143; exit 143' TERM
    start=${EPOCHREALTIME//[!0-9]/}
    end=$start
    if [ ! -f "$VELMORA" ] || [ ! -x "$VELMORA" ]; then
        echo "batch.sh: the host $VELMORA is not an executable file" >>stderr.txt
    elif [ -z "${DISPLAY:-}" ] && ! command -v Xvfb >/dev/null; then
        echo "batch.sh: no display and no Xvfb (scripts/setup.sh installs it)" >>stderr.txt
    else
        mkdir -p "$work"
        if [ -z "${DISPLAY:-}" ]; then
            mkfifo "$work/displayfd"
            Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$work/displayfd" 2>"$work/xvfb.log" &
            xpid=$!
            display=""
            read -r -t 60 display <"$work/displayfd" || true
            if [[ "$display" =~ ^[0-9]+$ ]]; then
                export DISPLAY=":$display"
            else
                echo "batch.sh: Xvfb did not start:" >>stderr.txt
                cat "$work/xvfb.log" >>stderr.txt
            fi
        fi
        if [ -n "${DISPLAY:-}" ]; then
            start=${EPOCHREALTIME//[!0-9]/}
            "$VELMORA" --data "$source" --script "$folder/script.txt" >stdout.txt 2>>stderr.txt </dev/null &
            hostpid=$!
            status=0
            wait "$hostpid" || status=$?
            hostpid=""
            end=${EPOCHREALTIME//[!0-9]/}
        fi
    fi
    trap - HUP INT TERM
    finish "$status"
}

# A CSV field, quoted when it holds a comma, a quote or a line break.
csv_field()
{
    local field="$1"
    if [[ "$field" == *[,\"$'\r\n']* ]]; then
        field="\"${field//\"/\"\"}\""
    fi
    printf '%s' "$field"
}

# volume, spacing, density, regions and triangles of the last "print info" in FILE, one a
# line (empty lines for what is missing).
info_fields()
{
    awk '
        /^volume: / { v = substr($0, 9); s = d = r = t = ""; next }
        /^spacing: / && s == "" { s = substr($0, 10) }
        /^density: / && d == "" { d = substr($0, 10) }
        /^regions: / && r == "" { r = substr($0, 10) }
        /^model: / && t == "" { t = $2 }
        END { print v; print s; print d; print r; print t }
    ' "$1"
}

out="batch-out"
args=()
while [ $# -gt 0 ]; do
    case "$1" in
        -o)
            [ $# -ge 2 ] && [ -n "$2" ] || usage "-o needs a folder"
            out="$2"
            shift 2
            ;;
        -h | --help)
            sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//'
            exit 0
            ;;
        --)
            shift
            args+=("$@")
            break
            ;;
        -?*) usage "unknown option $1" ;;
        *)
            args+=("$1")
            shift
            ;;
    esac
done
[ ${#args[@]} -ge 2 ] || usage "SCRIPT and LIST are needed"
[ ${#args[@]} -le 3 ] || usage "too many arguments"
script="${args[0]}"
list="${args[1]}"
jobs="${args[2]:-$(nproc 2>/dev/null || echo 1)}"
[ -f "$script" ] && [ -r "$script" ] || usage "no script file $script"
[ -f "$list" ] && [ -r "$list" ] || usage "no list file $list"
[[ "$jobs" =~ ^[1-9][0-9]{0,5}$ ]] || usage "JOBS must be a positive integer, not '$jobs'"
if [ "$jobs" -gt 1 ] && ! command -v parallel >/dev/null; then
    echo "batch.sh: GNU parallel is not installed (scripts/setup.sh installs it); JOBS=1 runs without it" >&2
    exit 2
fi

# The jobs run in the scans' folders: the host and DIR by absolute paths.
if [[ "$VELMORA" != */* ]]; then
    VELMORA="$(command -v -- "$VELMORA" || echo "$VELMORA")"
fi
[[ "$VELMORA" == /* ]] || VELMORA="$PWD/$VELMORA"
mkdir -p -- "$out"
out="$(cd -- "$out" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
text="$(<"$script")"

# The scans in LIST order: source, name, folder, and the prepared script.
sources=()
names=()
declare -A taken=([summary.csv]=1)
while IFS= read -r line || [ -n "$line" ]; do
    line="${line%$'\r'}"
    line="${line#"${line%%[![:space:]]*}"}"
    line="${line%"${line##*[![:space:]]}"}"
    [ -z "$line" ] || [[ "$line" == \#* ]] && continue
    name="$(scan_name "$line")"
    unique="$name"
    k=1
    while [ -n "${taken[$unique]:-}" ]; do
        k=$((k + 1))
        unique="$name-$k"
    done
    taken[$unique]=1
    sources+=("$line")
    names+=("$unique")
    mkdir -p -- "$out/$unique"
    printf '%s\n' "${text//\{name\}/$unique}" >"$out/$unique/script.txt"
    printf '%s\0%s\0%s\0' "$out/$unique" "$(absolute_source "$line")" "$tmp/${#sources[@]}" >>"$tmp/jobs"
done <"$list"
[ ${#sources[@]} -gt 0 ] || echo "batch.sh: $list names no scans" >&2

if [ ${#sources[@]} -gt 0 ]; then
    if [ "$jobs" -eq 1 ] && ! command -v parallel >/dev/null; then
        while IFS= read -r -d '' folder && IFS= read -r -d '' source && IFS= read -r -d '' result; do
            (set +e; run_scan "$folder" "$source" "$result")
        done <"$tmp/jobs"
    else
        export VELMORA
        export -f run_scan
        PARALLEL_SHELL="$BASH" parallel --will-cite -0 -N3 -j "$jobs" -a "$tmp/jobs" \
            run_scan '{1}' '{2}' '{3}' || true
    fi
fi

# The summary, in LIST order.
summary="$out/summary.csv"
failed=0
{
    echo "scan,name,status,seconds,volume,spacing,density,regions,triangles"
    for i in "${!sources[@]}"; do
        status=127
        seconds=""
        [ -s "$tmp/$((i + 1))" ] && read -r status seconds <"$tmp/$((i + 1))"
        [ "$status" = 0 ] || failed=$((failed + 1))
        mapfile -t info < <(info_fields "$out/${names[$i]}/stdout.txt" 2>/dev/null || printf '\n\n\n\n\n')
        row="$(csv_field "${sources[$i]}"),${names[$i]},$status,$seconds"
        for field in "${info[@]}"; do
            row+=",$(csv_field "$field")"
        done
        echo "$row"
    done
} >"$summary.part"
mv -f "$summary.part" "$summary"
echo "batch.sh: ${#sources[@]} scans, $failed failed; summary in $summary"
[ "$failed" -eq 0 ]
