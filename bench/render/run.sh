#!/bin/sh
# Render benchmark: the editing component against the ffmpeg command line doing the same
# job, measured in the same run. See README.md.
#
#   bench/render/run.sh [build-dir] [runs]
set -eu

BUILD=${1:-build}
RUNS=${2:-5}
BENCH="$BUILD/bench/render_bench"
[ -x "$BENCH" ] || { echo "build it first: cmake --build $BUILD --target render_bench" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package: time)" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM
SRC="$WORK/src.avi"

echo "making the source: 60 s, 640x480, 25 fps, MPEG-4 + MP3 AVI"
ffmpeg -v error -y -f lavfi -i testsrc2=size=640x480:rate=25:duration=60 \
    -f lavfi -i sine=frequency=440:sample_rate=44100:duration=60 \
    -c:v mpeg4 -q:v 4 -g 12 -c:a libmp3lame -b:a 128k -ac 2 -shortest "$SRC"

# Wall-clock seconds of a command (its output thrown away); peak memory in KB to $WORK/mem.
measure() {
    /usr/bin/time -f "%e %M" -o "$WORK/t" "$@" >/dev/null 2>"$WORK/err" || { cat "$WORK/err" >&2; exit 1; }
    cut -d' ' -f2 "$WORK/t" >"$WORK/mem"
    cut -d' ' -f1 "$WORK/t"
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

PEAK=0
note_peak() {
    m=$(cat "$WORK/mem")
    [ "$m" -gt "$PEAK" ] && PEAK=$m
    return 0
}

# job name, our arguments, ffmpeg's arguments (after -i source)
run_job() {
    name=$1; ours=$2; theirs=$3
    : >"$WORK/$name.ours"; : >"$WORK/$name.ffmpeg"
    i=0
    while [ $i -lt "$RUNS" ]; do
        # shellcheck disable=SC2086
        measure "$BENCH" $ours >>"$WORK/$name.ours"; note_peak
        # shellcheck disable=SC2086
        measure ffmpeg -v error -y -i "$SRC" $theirs >>"$WORK/$name.ffmpeg"
        i=$((i + 1))
    done
    o=$(median <"$WORK/$name.ours"); f=$(median <"$WORK/$name.ffmpeg")
    printf '%-10s ours %6.2f s   ffmpeg %6.2f s   ratio %5.2f   (target <= 1.00)\n' "$name" "$o" "$f" \
        "$(echo "$o $f" | awk '{ print $1 / $2 }')"
}

echo "medians of $RUNS runs each"
run_job vcd-ntsc "1 $SRC $WORK/ours-vcd" "-target ntsc-vcd $WORK/ffmpeg-vcd.mpg"
run_job dvd-pal "4 $SRC $WORK/ours-dvd" "-target pal-dvd $WORK/ffmpeg-dvd.mpg"
# WMV profile 0: 640x480 at 25 fps, 1372 kb/s video, 128 kb/s 44.1 kHz stereo sound, a
# keyframe every 8 s.
run_job wmv "9 $SRC $WORK/ours-wmv 1 0" \
    "-c:v wmv2 -b:v 1372k -s 640x480 -r 25 -g 200 -c:a wmav2 -b:a 128k -ar 44100 -ac 2 $WORK/ffmpeg.wmv"

: >"$WORK/whole"; : >"$WORK/parts"
i=0
while [ $i -lt "$RUNS" ]; do
    measure "$BENCH" 1 "$SRC" "$WORK/whole" >>"$WORK/whole"; note_peak
    measure "$BENCH" 1 "$SRC" "$WORK/part" 10 >>"$WORK/parts"; note_peak
    i=$((i + 1))
done
w=$(median <"$WORK/whole"); p=$(median <"$WORK/parts")
printf '%-10s ten parts %6.2f s   whole %6.2f s   ratio %5.2f   (target <= 1.15)\n' "parts" "$p" "$w" \
    "$(echo "$p $w" | awk '{ print $1 / $2 }')"
printf '%-10s peak resident memory of our renders: %d MB   (target <= 200 MB)\n' "memory" $((PEAK / 1024))
