#!/usr/bin/env python3
"""Times FileEncoder cutting whole files against `ffmpeg -c copy` on the same range and `cp`.

Generates (once, into a work folder) a 5-minute 720p AVI (MPEG-4 + MP3, about 400 MB) and a
5-minute MPEG-2 program stream, then for each: runs the three commands several times in
turn, prints the medians and the ratios, and FileEncoder's peak memory on the whole file
against a tenth of it (memory must not grow with the file's size).

    bench_fileencoder.py [--encoder build/bin/FileEncoder] [--work DIR] [--runs 9] [--seconds 300]
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
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    err = proc.stderr.read().decode(errors="replace")
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
        # Best quality keeps the test pattern near 11.5 Mbit/s (about 430 MB), which a bit
        # rate alone does not reach on such simple pictures.
        codec = ["-c:v", "mpeg4", "-q:v", "1", "-g", "25", "-bf", "2", "-c:a", "libmp3lame", "-b:a", "128k"]
    else:
        codec = ["-c:v", "mpeg2video", "-b:v", "8M", "-maxrate", "9M", "-bufsize", "1835k", "-g", "15", "-bf", "2",
                 "-c:a", "mp2", "-b:a", "192k", "-f", "vob"]
    print(f"generating {path} ...", flush=True)
    root, ext = os.path.splitext(path)
    tmp = root + ".part" + ext
    subprocess.run(["ffmpeg", "-v", "error", "-y", *src, *codec, "-shortest", tmp], check=True)
    os.replace(tmp, path)


def clock_text(seconds):
    whole = int(seconds)
    return f"{whole // 3600:02d}:{whole // 60 % 60:02d}:{whole % 60:02d}.{int(round((seconds - whole) * 1000)):03d}"


def remove(path):
    if os.path.exists(path):
        os.remove(path)


def bench(encoder, work, source, ext, seconds, runs):
    length = clock_text(seconds + 10)  # past the end: the whole file
    out = os.path.join(work, "out" + ext)
    muxer = ["-f", "vob"] if ext == ".mpg" else []
    commands = {
        "FileEncoder": [encoder, source, "-ss", "00:00:00.000", "-endpos", length, "-ovc", "copy", "-oac", "copy",
                        "-o", out],
        "ffmpeg": ["ffmpeg", "-v", "error", "-ss", "0", "-t", str(seconds + 10), "-i", source, "-c", "copy",
                   *muxer, "-y", out],
        "cp": ["cp", source, out],
    }
    times = {name: [] for name in commands}
    cpu = {name: [] for name in commands}
    rss = {name: 0 for name in commands}
    run_timed(commands["cp"])  # warm the page cache so that every command reads from memory
    remove(out)
    for _ in range(runs):
        for name, cmd in commands.items():
            wall, peak, used = run_timed(cmd)
            times[name].append(wall)
            cpu[name].append(used)
            rss[name] = max(rss[name], peak)
            remove(out)

    # Peak memory on a tenth of the file: cut it out, then copy that whole.
    small = os.path.join(work, "tenth" + ext)
    remove(small)
    run_timed([encoder, source, "-ss", "00:00:00.000", "-endpos", clock_text(seconds / 10), "-ovc", "copy",
               "-oac", "copy", "-o", small])
    _, small_rss, _ = run_timed([encoder, small, "-ss", "00:00:00.000", "-endpos", length, "-ovc", "copy", "-oac",
                              "copy", "-o", out])
    remove(out)
    remove(small)

    med = {name: statistics.median(values) for name, values in times.items()}
    med_cpu = {name: statistics.median(values) for name, values in cpu.items()}
    size_mb = os.path.getsize(source) / 1e6
    print(f"\n{os.path.basename(source)}: {size_mb:.0f} MB, {seconds} s, {runs} runs (median wall time)")
    for name in commands:
        print(f"  {name:12s} {med[name]:7.3f} s   (CPU {med_cpu[name]:6.3f} s)   peak RSS {rss[name] / 1024:7.1f} MiB")
    print(f"  FileEncoder / ffmpeg -c copy = {med['FileEncoder'] / med['ffmpeg']:.2f}   (limit 1.0)")
    print(f"  FileEncoder / cp             = {med['FileEncoder'] / med['cp']:.2f}   (limit 2)")
    print(f"  FileEncoder peak RSS, whole file / a tenth of it = "
          f"{rss['FileEncoder'] / 1024:.1f} / {small_rss / 1024:.1f} MiB = {rss['FileEncoder'] / small_rss:.2f}")
    return med, rss


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default_encoder = os.path.normpath(os.path.join(here, "..", "..", "build", "bin", "FileEncoder"))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--encoder", default=default_encoder)
    parser.add_argument("--work", help="folder for the generated files (kept for later runs)")
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--seconds", type=int, default=300)
    args = parser.parse_args()

    if not os.access(args.encoder, os.X_OK):
        sys.exit(f"no FileEncoder at {args.encoder}; build it first (cmake --build build --target FileEncoder)")
    for tool in ("ffmpeg", "cp"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is needed")
    work = args.work or os.path.join(tempfile.gettempdir(), "kestrelcut-bench-fileencoder")
    os.makedirs(work, exist_ok=True)

    avi = os.path.join(work, f"source_{args.seconds}s.avi")
    mpg = os.path.join(work, f"source_{args.seconds}s.mpg")
    generate(avi, args.seconds, "avi")
    generate(mpg, args.seconds, "mpg")
    bench(args.encoder, work, avi, ".avi", args.seconds, args.runs)
    bench(args.encoder, work, mpg, ".mpg", args.seconds, args.runs)
    print(f"\n(the generated files stay in {work} for the next run)")


if __name__ == "__main__":
    main()
