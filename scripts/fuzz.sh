#!/usr/bin/env bash
# Fuzzes FileEncoder and kestrelcut-split with damaged copies of small generated clips.
#
#   scripts/fuzz.sh [--count N] [--first-seed S] [--ratio MIN:MAX] [--seeds avi,mpg,mp4,mkv,ts,mov,webm,joined]
#                   [--only fileencoder|split] [--timeout SECONDS] [--keep DIR]
#
# Makes an AVI (MPEG-4 with B pictures, MP3), an MPEG-2 program stream (MP2), an MP4
# (H.264, AAC), a Matroska file (H.264, AAC, text subtitles, a font, chapters), a transport
# stream (x264 with open GOPs, AAC), a QuickTime file (x265 with its open GOPs, hvc1, AAC)
# a WebM as browsers record it (VP8, Opus, no length, no index) and two transport streams
# joined end to end, the second on a clock an hour later (a restarted broadcast), of a few
# seconds, writes N damaged copies of each with zzuf (zzuf seeds S to S+N-1, a
# ratio of flipped bits picked by zzuf within MIN:MAX), and runs on each copy:
#   FileEncoder COPY -ss ... -endpos ... -o OUT         (a cut from the middle)
#   kestrelcut-split COPY --range ... --output DIR      (one piece)
#   kestrelcut-split COPY --parts 2 --output DIR        (two pieces)
#   kestrelcut-split COPY --parts 2 --copy --output DIR (two lossless pieces)
#   kestrelcut-split COPY --parts 3 --copy --exact ...  (three frame-exact lossless pieces)
#   FileEncoder COPY -ss ... -exact -o OUT              (a frame-exact cut)
# each with a time limit. A run that dies by a signal (crash), outlives the limit (hang)
# or fails and leaves files behind is a finding: the damaged copy is kept in the --keep
# folder (default build/fuzz-findings) with the command that shows it, and the script ends
# with status 1. Status 0: no findings. Status 2: the tools or executables are missing.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="${KC_BUILD_DIR:-$here/build}/bin"
count=100
first_seed=1
ratio="0.0001:0.004"
seed_kinds="avi,mpg,mp4,mkv,ts,mov,webm,joined"
only=""
limit=20
keep="${KC_BUILD_DIR:-$here/build}/fuzz-findings"

usage() { sed -n '2,21p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; }

while [[ $# -gt 0 ]]; do
  case "$1" in
    --count) count="$2"; shift 2 ;;
    --first-seed) first_seed="$2"; shift 2 ;;
    --ratio) ratio="$2"; shift 2 ;;
    --seeds) seed_kinds="$2"; shift 2 ;;
    --only) only="$2"; shift 2 ;;
    --timeout) limit="$2"; shift 2 ;;
    --keep) keep="$2"; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "fuzz.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done

for tool in ffmpeg ffprobe zzuf timeout; do
  command -v "$tool" >/dev/null || { echo "fuzz.sh: $tool is not installed (scripts/install-deps.sh)" >&2; exit 2; }
done
run_encoder=1; run_split=1
[[ "$only" == "split" ]] && run_encoder=0
[[ "$only" == "fileencoder" ]] && run_split=0
if [[ $run_encoder == 1 && ! -x "$bin/FileEncoder" ]] || [[ $run_split == 1 && ! -x "$bin/kestrelcut-split" ]]; then
  echo "fuzz.sh: build FileEncoder and kestrelcut-split first (cmake --build build)" >&2
  exit 2
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/kc-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$keep"
report="$keep/findings.txt"
: >"$report"

# The file name extension of a seed kind.
seed_extension() {
  case "$1" in
    joined) echo ts ;;
    *) echo "$1" ;;
  esac
}

# make_seed KIND OUT
make_seed() {
  local kind="$1" out="$2"
  local src=(-f lavfi -i "testsrc2=size=176x144:rate=25:duration=4" -f lavfi -i "sine=frequency=440:duration=4")
  case "$kind" in
    avi) ffmpeg -v error -y "${src[@]}" -c:v mpeg4 -bf 2 -g 12 -q:v 5 -c:a libmp3lame -ar 44100 -ac 2 "$out" ;;
    mpg) ffmpeg -v error -y "${src[@]}" -c:v mpeg2video -bf 2 -g 12 -q:v 5 -c:a mp2 -ar 48000 -ac 2 -f vob "$out" ;;
    mp4) ffmpeg -v error -y "${src[@]}" -c:v libx264 -preset veryfast -g 25 -c:a aac -ac 2 "$out" ;;
    mkv)
      printf '1\n00:00:00,500 --> 00:00:01,800\none\n\n2\n00:00:01,900 --> 00:00:03,000\ntwo\n' >"$work/cues.srt"
      printf ';FFMETADATA1\ntitle=Seed\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=2000\ntitle=A\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=2000\nEND=4000\ntitle=B\n' >"$work/chapters.txt"
      ffmpeg -v error -y "${src[@]}" -i "$work/cues.srt" -i "$work/chapters.txt" -map 0:v -map 1:a -map 2:s \
        -map_metadata 3 -map_chapters 3 -c:v libx264 -preset veryfast -g 30 -c:a aac -ac 2 -c:s srt \
        -attach /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf -metadata:s:t mimetype=font/ttf "$out" ;;
    ts)
      # x264's open GOPs, remuxed by ffmpeg: SPS and PPS only at the start, pictures before
      # each later keyframe that refer back across it.
      ffmpeg -v error -y -f lavfi -i "testsrc2=size=176x144:rate=25:duration=4" -pix_fmt yuv420p -f yuv4mpegpipe - \
        | x264 --quiet --no-progress --open-gop --keyint 25 --min-keyint 25 --bframes 3 --demuxer y4m -o "$work/open.mkv" - 2>/dev/null
      ffmpeg -v error -y -i "$work/open.mkv" -f lavfi -i "sine=frequency=440:duration=4" -c:v copy -c:a aac "$out" ;;
    mov)
      ffmpeg -v error -y "${src[@]}" -c:v libx265 -tag:v hvc1 \
        -x265-params log-level=error:open-gop=1:keyint=25:min-keyint=25:bframes=3 -c:a aac -ac 2 "$out" ;;
    webm) ffmpeg -v error -y "${src[@]}" -c:v libvpx -deadline realtime -g 25 -c:a libopus -ac 2 -live 1 -f webm "$out" ;;
    joined)
      ffmpeg -v error -y "${src[@]}" -c:v libx264 -preset veryfast -g 25 -c:a mp2 -f mpegts "$work/first.ts"
      ffmpeg -v error -y "${src[@]}" -c:v libx264 -preset veryfast -g 25 -c:a mp2 -output_ts_offset 3600 -f mpegts "$work/second.ts"
      cat "$work/first.ts" "$work/second.ts" >"$out" ;;
    *) echo "fuzz.sh: unknown seed kind $kind (avi, mpg, mp4, mkv, ts, mov, webm, joined)" >&2; return 2 ;;
  esac
}

findings=0
runs=0
succeeded=0

# record KIND DETAIL WHAT MUTANT SEEDKIND ZZUFSEED COMMAND...
# Keeps the mutant and writes one report line with the command that shows the finding.
record() {
  local kind="$1" detail="$2" what="$3" mutant="$4" seed_kind="$5" zseed="$6"
  shift 6
  local kept="$keep/${what}-${kind}-${seed_kind}-s${zseed}.$(seed_extension "$seed_kind")"
  cp "$mutant" "$kept"
  findings=$((findings + 1))
  local cmd=() arg
  for arg in "$@"; do
    [[ "$arg" == "$mutant" ]] && arg="$kept"
    cmd+=("$(printf '%q' "${arg//$work\//\/tmp\/}")")
  done
  printf '%s (%s)\t%s\tseed %s, zzuf -s %s -r %s\t%s\n' "$kind" "$detail" "$what" "$seed_kind" "$zseed" "$ratio" \
    "${cmd[*]}" | tee -a "$report"
}

# check WHAT MUTANT SEEDKIND ZZUFSEED OUTPUT_PATHS_GLOB_DIR COMMAND...
# Runs the command under the time limit and records a crash, a hang or files left behind
# by a failure. For a split into parts, pieces finished before a failure may stay, but only
# as whole files a player reads.
check() {
  local what="$1" mutant="$2" seed_kind="$3" zseed="$4" outdir="$5"
  shift 5
  runs=$((runs + 1))
  local status=0
  timeout -k 5 "$limit" "$@" >"$work/out.log" 2>&1 </dev/null || status=$?
  [[ $status == 0 ]] && succeeded=$((succeeded + 1))
  if [[ $status == 124 || $status == 137 ]]; then
    record hang "over ${limit} s" "$what" "$mutant" "$seed_kind" "$zseed" "$@"
  elif [[ $status -gt 128 ]]; then
    record crash "signal $((status - 128))" "$what" "$mutant" "$seed_kind" "$zseed" "$@"
  elif [[ $status != 0 ]]; then
    local left=()
    while IFS= read -r -d '' f; do left+=("$f"); done < <(find "$outdir" -mindepth 1 -print0)
    local bad=0
    if [[ "$what" == split-parts || "$what" == split-copy* ]]; then
      for f in "${left[@]}"; do
        if [[ "$(basename "$f")" != *"_new("*")."* ]] || ! ffprobe -v error -select_streams v:0 -show_entries stream=codec_name -of csv=p=0 "$f" 2>/dev/null | grep -q .; then
          bad=1
        fi
      done
    elif [[ ${#left[@]} -gt 0 ]]; then
      bad=1
    fi
    if [[ $bad == 1 ]]; then
      record leftover "exit $status, left ${left[*]##*/}" "$what" "$mutant" "$seed_kind" "$zseed" "$@"
    fi
  fi
  rm -rf "$outdir"
  mkdir -p "$outdir"
}

IFS=',' read -r -a kinds <<<"$seed_kinds"
for kind in "${kinds[@]}"; do
  ext="$(seed_extension "$kind")"
  seed="$work/seed-$kind.$ext"
  make_seed "$kind" "$seed"
  echo "fuzz.sh: $kind seed, zzuf seeds $first_seed..$((first_seed + count - 1)), ratio $ratio" >&2
  for ((s = first_seed; s < first_seed + count; s++)); do
    mutant="$work/mutant-$kind.$ext"
    zzuf -s "$s" -r "$ratio" <"$seed" >"$mutant"
    out="$work/out"
    rm -rf "$out"; mkdir -p "$out"
    if [[ $run_encoder == 1 ]]; then
      check fileencoder "$mutant" "$kind" "$s" "$out" \
        "$bin/FileEncoder" "$mutant" -ss 00:00:01.300 -endpos 00:00:01.500 -ovc copy -oac copy -o "$out/piece.$ext"
      check fileencoder-exact "$mutant" "$kind" "$s" "$out" \
        "$bin/FileEncoder" "$mutant" -ss 00:00:01.300 -endpos 00:00:01.500 -exact -ovc copy -oac copy -o "$out/piece.$ext"
    fi
    if [[ $run_split == 1 ]]; then
      check split-range "$mutant" "$kind" "$s" "$out" \
        "$bin/kestrelcut-split" "$mutant" --range 1.3 2.8 --output "$out"
      check split-parts "$mutant" "$kind" "$s" "$out" \
        "$bin/kestrelcut-split" "$mutant" --parts 2 --output "$out"
      check split-copy "$mutant" "$kind" "$s" "$out" \
        "$bin/kestrelcut-split" "$mutant" --parts 2 --copy --output "$out"
      check split-copy-exact "$mutant" "$kind" "$s" "$out" \
        "$bin/kestrelcut-split" "$mutant" --parts 3 --copy --exact --output "$out"
    fi
    if (( (s - first_seed + 1) % 25 == 0 )); then
      echo "fuzz.sh: $kind: $((s - first_seed + 1))/$count mutants, $findings findings so far" >&2
    fi
  done
done

if [[ $findings == 0 ]]; then
  echo "fuzz.sh: $runs runs ($succeeded succeeded, the rest refused), no findings" >&2
else
  echo "fuzz.sh: $runs runs ($succeeded succeeded), $findings findings (see $report)" >&2
fi
[[ $findings == 0 ]]
