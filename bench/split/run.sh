#!/bin/sh
# Split benchmark: N consecutive pieces against one whole render of ours and against ffmpeg's
# segment muxer doing the same re-encode, measured in the same run. See README.md.
#
#   bench/split/run.sh [--seconds S] [--parts "N ..."] [build-dir] [runs] [chain|cold]
#
# --seconds sets the length of the generated sources (default 30), --parts the piece counts
# (default "10 30 60"): per-piece set-up weighs less against a longer source, so both matter.
#
# The parts are rendered as a split renders them: in one render that reads the source once and
# goes on encoding from piece to piece. "chain" adds the parts rendered each by a render of its
# own, started from the last one's completion and reading on where it stopped; "cold" adds them
# rendered each by an editing component of its own (every piece opens the source, seeks and
# decodes from its keyframe). Both are how splits were rendered before.
set -eu

SECONDS_LEN=30
PARTS="10 30 60"
while [ $# -gt 0 ]; do
    case $1 in
        --seconds) SECONDS_LEN=${2:?--seconds needs a number}; shift 2 ;;
        --parts) PARTS=${2:?--parts needs a list such as "10 60"}; shift 2 ;;
        --) shift; break ;;
        -*) echo "unknown option $1" >&2; exit 2 ;;
        *) break ;;
    esac
done
case $SECONDS_LEN in ''|*[!0-9]*|0) echo "--seconds takes a whole number of seconds above 0" >&2; exit 2 ;; esac
for n in $PARTS; do
    case $n in ''|*[!0-9]*|0) echo "--parts takes whole numbers above 0, not $n" >&2; exit 2 ;; esac
done

BUILD=${1:-build}
RUNS=${2:-3}
ALSO=${3:-}
case $ALSO in ''|chain|cold) ;; *) echo "the third argument is chain or cold, not $ALSO" >&2; exit 2 ;; esac
BENCH="$BUILD/bench/render_bench"
[ -x "$BENCH" ] || { echo "build it first: cmake --build $BUILD --target render_bench" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package: time)" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM

# name, size, keyframe interval in frames, seconds
make_source() {
    ffmpeg -v error -y -f lavfi -i "testsrc2=size=$2:rate=30000/1001:duration=$4" \
        -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$4" \
        -c:v libx264 -preset veryfast -g "$3" -keyint_min "$3" -sc_threshold 0 \
        -c:a aac -b:a 128k -ac 2 "$WORK/$1.mp4"
}

echo "making the sources (H.264 + AAC, 29.97 fps, $SECONDS_LEN s each)"
make_source short720 1280x720 30 "$SECONDS_LEN"     # a keyframe every second
make_source long720 1280x720 300 "$SECONDS_LEN"     # a keyframe every 10 seconds
make_source small 320x240 30 "$SECONDS_LEN"

# Wall-clock seconds of a command (its output thrown away).
measure() {
    /usr/bin/time -f "%e" -o "$WORK/t" "$@" >/dev/null 2>"$WORK/err" || { cat "$WORK/err" >&2; exit 1; }
    cat "$WORK/t"
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { echo "$1 $2" | awk '{ printf "%.2f", $1 / $2 }'; }

# ffmpeg's segment muxer cutting the same VCD NTSC re-encode into n pieces of equal length,
# a keyframe forced at each cut.
segment() {
    src=$1; n=$2
    d=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$src")
    len=$(echo "$d $n" | awk '{ printf "%.6f", $1 / $2 }')
    rm -rf "$WORK/seg"; mkdir "$WORK/seg"
    measure ffmpeg -v error -y -i "$src" -target ntsc-vcd -force_key_frames "expr:gte(t,n_forced*$len)" \
        -f segment -segment_time "$len" -segment_format vcd -reset_timestamps 1 "$WORK/seg/p%03d.mpg"
}

echo "medians of $RUNS runs; $SECONDS_LEN s sources; VCD NTSC output; targets: parts/whole <= 1.05, parts/segment <= 1.00"
for name in short720 long720 small; do
    src="$WORK/$name.mp4"
    : >"$WORK/whole"
    for n in $PARTS; do : >"$WORK/parts$n"; : >"$WORK/seg$n"; : >"$WORK/also$n"; done
    i=0
    while [ $i -lt "$RUNS" ]; do
        # Ours and ffmpeg's alternate, so that both see the same load.
        measure "$BENCH" 1 "$src" "$WORK/whole" >>"$WORK/whole"
        for n in $PARTS; do
            measure "$BENCH" 1 "$src" "$WORK/part" "$n" >>"$WORK/parts$n"
            segment "$src" "$n" >>"$WORK/seg$n"
            [ -z "$ALSO" ] || measure "$BENCH" 1 "$src" "$WORK/also" "$n" 0 "$ALSO" >>"$WORK/also$n"
        done
        i=$((i + 1))
    done
    w=$(median <"$WORK/whole")
    for n in $PARTS; do
        p=$(median <"$WORK/parts$n"); s=$(median <"$WORK/seg$n")
        printf '%-9s %2d parts %6.2f s  whole %6.2f s  segment %6.2f s  parts/whole %s  parts/segment %s\n' \
            "$name" "$n" "$p" "$w" "$s" "$(ratio "$p" "$w")" "$(ratio "$p" "$s")"
        if [ -n "$ALSO" ]; then
            c=$(median <"$WORK/also$n")
            printf '%-9s %2d %-5s %6.2f s  %s/whole %s  %s/segment %s\n' "$name" "$n" "$ALSO" "$c" \
                "$ALSO" "$(ratio "$c" "$w")" "$ALSO" "$(ratio "$c" "$s")"
        fi
    done
done
