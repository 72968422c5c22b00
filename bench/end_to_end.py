#!/usr/bin/env python3
"""End-to-end figures of twinrun on the full-size sample world.

Generates the whole-world extent once (cached under the build directory,
made again only when the generator changes), then measures side by side, in
one run and several repetitions each:

  plain read    cat of both archives to /dev/null, from the page cache
  open          opening both archives (quillmoor-open-archives)
  twinrun       the whole twinrun
  peak memory   twinrun's peak resident set

and prints the median, the spread (minimum to maximum) and each figure as a
ratio to the plain read (memory: to the size of the cell archive's
directory, its nodes times 1716 bytes).

  bench/end_to_end.py [--build build/release] [--reps 7]
                      [--twinrun BIN] [--open BIN]

Build first: cmake --preset release && cmake --build --preset release
Python 3 standard library only.
"""

import argparse
import hashlib
import json
import os
import pathlib
import shutil
import statistics
import struct
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
NODE_SIZE = 1716


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            h.update(chunk)
    return h.hexdigest()


def directory_stats(path):
    """Node and entry count of an archive's directory tree."""
    with open(path, "rb") as f:
        def read_at(offset, size):
            f.seek(offset)
            data = f.read(size)
            if len(data) != size:
                raise SystemExit(f"{path}: short read at {offset:#x}")
            return data

        block_size, = struct.unpack("<I", read_at(0x144, 4))
        root, = struct.unpack("<I", read_at(0x160, 4))
        payload = block_size - 4

        def chain(offset, size):
            out = bytearray()
            block = offset
            while len(out) < size:
                link, = struct.unpack("<I", read_at(block, 4))
                take = size - len(out) if link == 0 else min(payload, size - len(out))
                out += read_at(block + 4, take)
                block = link
            return bytes(out)

        nodes = entries = 0
        stack = [root] if root else []
        while stack:
            offset = stack.pop()
            node = chain(offset, NODE_SIZE)
            branches = struct.unpack_from("<62I", node, 0)
            count, = struct.unpack_from("<I", node, 248)
            nodes += 1
            entries += count
            if branches[0] != 0:
                stack.extend(b for b in branches[: min(count, 61) + 1] if b)
        return {"nodes": nodes, "entries": entries, "directory_bytes": nodes * NODE_SIZE}


def ensure_world(build, world):
    gen = build / "apps/worldgen/quillmoor-worldgen"
    if not gen.exists():
        raise SystemExit(f"{gen} is missing: build the release preset first")
    stamp = world / "stamp.json"
    digest = sha256(gen)
    if stamp.exists():
        cached = json.loads(stamp.read_text())
        if cached.get("generator") == digest:
            return cached
    print(f"generating the full-size world in {world} (once) ...", file=sys.stderr)
    world.mkdir(parents=True, exist_ok=True)
    subprocess.run([str(gen), str(world), "--extent", "world"], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    info = directory_stats(world / "client_cell_1.dat")
    info["generator"] = digest
    info["cell_bytes"] = (world / "client_cell_1.dat").stat().st_size
    info["portal_bytes"] = (world / "client_portal.dat").stat().st_size
    stamp.write_text(json.dumps(info))
    return info


def run(argv, env=None):
    """Wall time and CPU time (user + system) in seconds and peak resident
    set in KiB of one process. Spawned directly (posix_spawn), output to
    /dev/null, so that the harness adds as little as possible."""
    devnull = os.open(os.devnull, os.O_WRONLY)
    try:
        actions = [(os.POSIX_SPAWN_DUP2, devnull, 1), (os.POSIX_SPAWN_DUP2, devnull, 2)]
        path = shutil.which(argv[0]) or argv[0]
        start = time.perf_counter()
        pid = os.posix_spawn(path, argv, env if env is not None else os.environ, file_actions=actions)
        _, status, usage = os.wait4(pid, 0)
        elapsed = time.perf_counter() - start
    finally:
        os.close(devnull)
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        raise SystemExit(f"{' '.join(argv)} failed with status {code}")
    return elapsed, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def describe(values, unit, scale=1.0):
    med = statistics.median(values)
    return f"{med * scale:9.3f} {unit}  (min {min(values) * scale:.3f}, max {max(values) * scale:.3f})", med


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=str(ROOT / "build/release"))
    ap.add_argument("--reps", type=int, default=7)
    ap.add_argument("--twinrun", help="twinrun binary (default: the build's)")
    ap.add_argument("--open", dest="open_bin", help="quillmoor-open-archives binary (default: the build's)")
    args = ap.parse_args()

    build = pathlib.Path(args.build).resolve()
    world = build / "bench-world"
    info = ensure_world(build, world)
    portal, cell = world / "client_portal.dat", world / "client_cell_1.dat"
    twinrun = args.twinrun or str(build / "apps/twinrun/twinrun")
    opener = args.open_bin or str(build / "bench/quillmoor-open-archives")

    env = dict(os.environ)
    env["QUILLMOOR_PORTAL_DAT"] = str(portal)
    env["QUILLMOOR_CELL_DAT"] = str(cell)
    out = build / "bench-out"
    env["QUILLMOOR_DETERMINISM_OUT"] = str(out)

    def twinrun_once():
        # A fresh output directory each time (emptied outside the timing):
        # ext4 flushes a file that is truncated and written again at once,
        # which would time the disk rather than twinrun.
        shutil.rmtree(out, ignore_errors=True)
        return run([twinrun], env)

    # Warm the page cache, and each program once.
    run(["cat", str(portal), str(cell)])
    run([opener, str(portal), str(cell)])
    twinrun_once()

    plain, opening, whole, peak = [], [], [], []
    cpu = {"plain": [], "open": [], "twinrun": []}
    for _ in range(args.reps):  # interleaved, so that drift hits all alike
        t, c, _ = run(["cat", str(portal), str(cell)])
        plain.append(t)
        cpu["plain"].append(c)
        t, c, _ = run([opener, str(portal), str(cell)])
        opening.append(t)
        cpu["open"].append(c)
        t, c, rss = twinrun_once()
        whole.append(t)
        cpu["twinrun"].append(c)
        peak.append(rss)

    dir_kib = info["directory_bytes"] / 1024
    print(f"world: cell archive {info['cell_bytes'] / 2**20:.1f} MiB, {info['entries']} entries, "
          f"{info['nodes']} directory nodes ({dir_kib / 1024:.1f} MiB of directory); "
          f"portal {info['portal_bytes'] / 2**10:.1f} KiB; {args.reps} repetitions")
    text, base = describe(plain, "ms", 1e3)
    print(f"plain read of both archives  {text}  ratio 1.00")
    text, med = describe(opening, "ms", 1e3)
    print(f"opening both archives        {text}  ratio {med / base:.2f}  (goal <= 0.30)")
    text, med = describe(whole, "ms", 1e3)
    print(f"whole twinrun                {text}  ratio {med / base:.2f}  (goal <= 0.50)")
    cpu_base = statistics.median(cpu["plain"])
    print("CPU time (user + system), medians: plain read {:.1f} ms, open {:.1f} ms (ratio {:.2f}), "
          "twinrun {:.1f} ms (ratio {:.2f})".format(
              cpu_base * 1e3, statistics.median(cpu["open"]) * 1e3, statistics.median(cpu["open"]) / cpu_base,
              statistics.median(cpu["twinrun"]) * 1e3, statistics.median(cpu["twinrun"]) / cpu_base))
    text, med = describe(peak, "MiB", 1 / 1024)
    print(f"peak memory of twinrun       {text}  ratio {med / dir_kib:.2f} x directory  (goal <= 2.00)")


if __name__ == "__main__":
    main()
