#!/usr/bin/env python3
"""Models the cycles per shaded point of vesk-render's bench loop on real x86 cores.

Input: a qemu log of one `vesk-render bench` run (in_asm,exec,nochain, filtered
to the bench loop, the samplers, the floor, the plain rule and the plug-in's
procedure). Each executed block is expanded into its instructions, the stream is
cut into one iteration per call of a procedure (the call, its samplers, and the
loop code back to the next call), and twenty consecutive iterations of each kind
are handed to llvm-mca, which reports its throughput on the named cores. The instructions
are the DLL's and the renderer's own 32-bit code, as executed.
"""
import argparse
import collections
import re
import subprocess
import sys


def disassemble(path):
    """Address -> instruction text that llvm-mca can assemble."""
    out = subprocess.run(["i686-w64-mingw32-objdump", "-d", "--no-show-raw-insn", path],
                         capture_output=True, text=True, check=True).stdout
    table = {}
    for line in out.splitlines():
        m = re.match(r"^\s*([0-9a-f]+):\s+(.*)$", line)
        if not m:
            continue
        text = re.sub(r"<[^>]*>", "", m.group(2)).strip()
        # Direct branch targets become absolute numbers.
        text = re.sub(r"^((?:j\w+|call)\s+)([0-9a-f]+)$", lambda t: t.group(1) + "0x" + t.group(2), text)
        table[int(m.group(1), 16)] = text
    return table


def read_log(path):
    """The blocks qemu translated, and the order it executed them in."""
    blocks, order, current = {}, [], None
    for line in open(path, errors="replace"):
        if line.startswith("IN:"):
            current = []
            continue
        m = re.match(r"^0x([0-9a-f]+):", line)
        if m and current is not None:
            current.append(int(m.group(1), 16))
            continue
        m = re.match(r"^Trace \d+: 0x[0-9a-f]+ \[[0-9a-f]+/([0-9a-f]+)/", line)
        if m:
            pc = int(m.group(1), 16)
            if current:
                blocks[pc] = current
            current = None
            order.append(pc)
    return blocks, order


# Points modelled per procedure: consecutive calls from the middle of its first round.
POINTS, FIRST = 20, 400


def mca_cycles(source, cpu, iterations=100):
    run = subprocess.run(["llvm-mca", "-mtriple=i686-pc-windows-gnu", f"-mcpu={cpu}",
                          f"-iterations={iterations}", source], capture_output=True, text=True)
    m = re.search(r"Total Cycles:\s+(\d+)", run.stdout)
    if not m:
        sys.exit(f"bench-model: llvm-mca failed on {source} for {cpu}:\n{run.stderr[:2000]}")
    return int(m.group(1)) / iterations


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--dll-base", type=lambda v: int(v, 0), required=True, help="where Wine mapped the DLL")
    parser.add_argument("--dll-image-base", type=lambda v: int(v, 0), required=True)
    parser.add_argument("--entry", action="append", required=True, help="NAME=ADDRESS of a timed procedure")
    parser.add_argument("--trivial", type=lambda v: int(v, 0), required=True, help="the trivial sampler's address")
    parser.add_argument("--work", required=True)
    parser.add_argument("--cpus", default="haswell,skylake,icelake-server,znver2,znver3")
    args = parser.parse_args()

    exe, dll = disassemble(args.exe), disassemble(args.dll)
    blocks, order = read_log(args.log)
    entries = {int(v, 0): k for k, v in (e.split("=") for e in args.entry)}

    # One iteration: from a procedure's entry to the next procedure's entry.
    iterations = collections.defaultdict(list)
    current, name = None, None
    for pc in order:
        if pc in entries:
            if current:
                kind = "trivial" if args.trivial in current else "noise"
                iterations[(name, kind)].append(current)
            current, name = [], entries[pc]
        if current is not None:
            current.extend(blocks[pc])

    def text(address):
        if address >= args.dll_base:
            return dll[address - args.dll_base + args.dll_image_base]
        return exe[address]

    cpus = args.cpus.split(",")
    cycles, lengths = {}, {}
    for (name, kind), runs in sorted(iterations.items()):
        # Twenty points in a row from the middle of the first round: the same
        # points for each procedure, so the noise takes the same paths in each.
        typical = [a for run in runs[FIRST:FIRST + POINTS] for a in run]
        source = f"{args.work}/{name}-{kind}.s"
        with open(source, "w") as f:
            f.write("\n".join(text(a) for a in typical) + "\n")
        lengths[(name, kind)] = len(typical) // POINTS
        for cpu in cpus:
            cycles[(name, kind, cpu)] = mca_cycles(source, cpu) / POINTS

    print("modelled cycles per shaded point (llvm-mca, the executed 32-bit instructions):")
    for kind in ("trivial", "noise"):
        print(f"  {kind} samplers; instructions per point: floor {lengths[('floor', kind)]}, "
              f"plain rule {lengths[('plain', kind)]}, plug-in {lengths[('plugin', kind)]}")
        for cpu in cpus:
            floor, plain, plugin = (cycles[(n, kind, cpu)] for n in ("floor", "plain", "plugin"))
            print(f"    {cpu:15} floor {floor:6.1f}  plug-in {plugin:6.1f}  ratio {plugin / floor:.2f}x  "
                  f"plug-in share {100 * (plugin - floor) / plugin:5.1f}%  (plain rule {plain / floor:.2f}x)")


if __name__ == "__main__":
    main()
