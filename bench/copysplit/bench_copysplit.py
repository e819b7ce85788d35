#!/usr/bin/env python3
"""Times `kestrelcut-split --copy --parts 10` against `cp` of the same source, side by side.

Generates (once, into a work folder) a 5-minute 720p AVI (MPEG-4 + MP3, about 430 MB) and two
5-minute MPEG-2 program streams (+ MP2, about 310 MB), one with open GOPs, one with closed. For each source the two commands run in
turn several times (each into an emptied folder, with the page cache warm), and the medians of
the wall times give the ratio split / cp. The split's peak resident memory on the whole source
is printed against its peak on a tenth of it: memory must not grow with the file's size.

    bench_copysplit.py [--split build/bin/kestrelcut-split] [--work DIR] [--runs 7] [--seconds 300]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def run_timed(cmd):
    """Runs cmd; returns (wall seconds, peak RSS in KiB, CPU seconds). Raises on a non-zero exit."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    err = proc.stderr.read().decode(errors="replace")
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.stderr.close()
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        raise RuntimeError(f"{cmd[0]} exited with {code}: {err.strip()}")
    return wall, usage.ru_maxrss, usage.ru_utime + usage.ru_stime


def generate(path, seconds, kind):
    if os.path.exists(path):
        return
    src = ["-f", "lavfi", "-i", f"testsrc2=size=1280x720:rate=25:duration={seconds}",
           "-f", "lavfi", "-i", f"sine=frequency=440:sample_rate={44100 if kind == 'avi' else 48000}:duration={seconds}"]
    if kind == "avi":
        # Best quality keeps the test pattern near 11.5 Mbit/s, which a bit rate alone does not
        # reach on such simple pictures.
        codec = ["-c:v", "mpeg4", "-q:v", "1", "-g", "25", "-bf", "2", "-c:a", "libmp3lame", "-b:a", "128k"]
    else:
        codec = ["-c:v", "mpeg2video", "-b:v", "8M", "-maxrate", "9M", "-bufsize", "1835k", "-g", "15", "-bf", "2",
                 "-c:a", "mp2", "-b:a", "192k", "-f", "vob"]
        if kind == "mpg-closed":
            # Closed GOPs (as many DVDs and cameras write them) are copied as they are; the
            # open ones ffmpeg writes by default have pictures rewritten at every cut.
            codec[-2:-2] = ["-flags", "+cgop", "-sc_threshold", "1000000000"]
    print(f"generating {path} ...", flush=True)
    root, ext = os.path.splitext(path)
    tmp = root + ".part" + ext
    subprocess.run(["ffmpeg", "-v", "error", "-y", *src, *codec, "-shortest", tmp], check=True)
    os.replace(tmp, path)


def empty(folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)


def bench(split, work, source, runs, parts):
    out = os.path.join(work, "pieces")
    copy = os.path.join(work, "copy")
    commands = {
        "split": (out, [split, "--copy", "--parts", str(parts), source, "--output", out]),
        "cp": (copy, ["cp", source, os.path.join(copy, os.path.basename(source))]),
        # The program's start-up alone (loading FFmpeg's and Qt's libraries), which every
        # split pays before it reads a byte.
        "start": (None, [split, "--help"]),
    }
    times = {name: [] for name in commands}
    cpu = {name: [] for name in commands}
    rss = {name: 0 for name in commands}
    for name, (folder, cmd) in commands.items():  # warm-up: page cache and the libraries
        if folder:
            empty(folder)
        run_timed(cmd)
    for _ in range(runs):
        for name, (folder, cmd) in commands.items():
            if folder:
                empty(folder)
            wall, peak, used = run_timed(cmd)
            times[name].append(wall)
            cpu[name].append(used)
            rss[name] = max(rss[name], peak)
    pieces = len(os.listdir(out))

    # Peak memory on a tenth of the source: cut it out as the first of ten pieces, then split
    # that the same way.
    tenth_dir = os.path.join(work, "tenth")
    empty(tenth_dir)
    run_timed([split, "--copy", "--parts", "10", source, "--output", tenth_dir])
    tenth = os.path.join(tenth_dir, sorted(os.listdir(tenth_dir))[0])
    small_rss = 0
    for _ in range(3):
        empty(out)
        _, peak, _ = run_timed([split, "--copy", "--parts", str(parts), tenth, "--output", out])
        small_rss = max(small_rss, peak)
    for folder in (out, copy, tenth_dir):
        shutil.rmtree(folder, ignore_errors=True)

    med = {name: statistics.median(values) for name, values in times.items()}
    med_cpu = {name: statistics.median(values) for name, values in cpu.items()}
    size_mb = os.path.getsize(source) / 1e6
    print(f"\n{os.path.basename(source)}: {size_mb:.0f} MB, {pieces} pieces, {runs} runs each (median wall time)")
    for name in commands:
        print(f"  {name:6s} {med[name]:7.3f} s   (CPU {med_cpu[name]:6.3f} s)   peak RSS {rss[name] / 1024:7.1f} MiB")
    print(f"  split / cp = {med['split'] / med['cp']:.2f}   (goal: at most 2; start-up alone {med['start'] / med['cp']:.2f})")
    print(f"  split peak RSS, whole source / a tenth of it = "
          f"{rss['split'] / 1024:.1f} / {small_rss / 1024:.1f} MiB = {rss['split'] / small_rss:.2f}   (goal: near 1)")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default_split = os.path.normpath(os.path.join(here, "..", "..", "build", "bin", "kestrelcut-split"))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--split", default=default_split)
    parser.add_argument("--work", help="folder for the generated sources (kept for later runs)")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--parts", type=int, default=10)
    parser.add_argument("--seconds", type=int, default=300)
    args = parser.parse_args()

    if not os.access(args.split, os.X_OK):
        sys.exit(f"no kestrelcut-split at {args.split}; build it first (cmake --build build --target kestrelcut-split)")
    for tool in ("ffmpeg", "cp"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is needed")
    work = args.work or os.path.join(tempfile.gettempdir(), "kestrelcut-bench-copysplit")
    os.makedirs(work, exist_ok=True)

    avi = os.path.join(work, f"source_{args.seconds}s.avi")
    mpg = os.path.join(work, f"source_{args.seconds}s.mpg")
    generate(avi, args.seconds, "avi")
    closed = os.path.join(work, f"source_{args.seconds}s_closed.mpg")
    generate(mpg, args.seconds, "mpg")
    generate(closed, args.seconds, "mpg-closed")
    for source in (avi, mpg, closed):
        bench(args.split, work, source, args.runs, args.parts)
    print(f"\n(the generated sources stay in {work} for the next run)")


if __name__ == "__main__":
    main()
