#!/usr/bin/env python3
"""Assembles a 6502 program with xexasm and runs it in sim65 (Debian's cc65).

The program names its known answer in a comment line "; expect: N" (the exit status, 0 to
255) and starts at its label `start`. It ends with its answer in A and JMP $FFF9, which
makes sim65 exit with A as its status.

The segments of the binary load file are laid into one memory image (gaps filled with
zeros) and written in sim65's load format: a 12-byte header, "sim65", version 2, CPU 0
(6502), the zero-page address of the C stack pointer (unused here: 0), the load address
and the reset address, both little-endian; then the image.

Writing a program: the first section ("zp", say) may hold zero-page variables (.DS),
declared before the code so that every reference to them is backward and takes the
zero-page form; the code section follows. sim65 2.19 (Debian) does not execute ROL abs,X
($3E) correctly and treats BIT immediate ($89) as an illegal opcode, so the programs avoid
both; decimal-mode SBC with a borrow is kept out as well.

Usage: run_program.py /path/to/xexasm program.asm [/path/to/sim65]
Prints what it did and ends with "1 passed, 0 failed" or "0 passed, 1 failed".
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

CYCLE_LIMIT = 50_000_000  # a program that loops without end is stopped


def fail(msg):
    print("FAIL " + msg)
    print("0 passed, 1 failed")
    return 1


def segments(data):
    """(start, bytes) of each segment of a binary load file."""
    if data[:2] != b"\xff\xff":
        raise ValueError("no $FF $FF header")
    pos, out = 2, []
    while pos < len(data):
        start = data[pos] | data[pos + 1] << 8
        end = data[pos + 2] | data[pos + 3] << 8
        n = end - start + 1
        body = data[pos + 4:pos + 4 + n]
        if n <= 0 or len(body) != n:
            raise ValueError(f"bad segment at offset {pos}")
        out.append((start, body))
        pos += 4 + n
    return out


def sim65_file(segs, reset):
    low = min(s for s, _ in segs)
    high = max(s + len(b) for s, b in segs)
    image = bytearray(high - low)
    for s, b in segs:
        image[s - low:s - low + len(b)] = b
    header = b"sim65" + bytes([2, 0, 0, low & 0xFF, low >> 8, reset & 0xFF, reset >> 8])
    return header + bytes(image)


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    xexasm = os.path.abspath(sys.argv[1])
    program = os.path.abspath(sys.argv[2])
    sim65 = sys.argv[3] if len(sys.argv) > 3 else shutil.which("sim65")
    name = os.path.basename(program)
    if not sim65:
        return fail("sim65 (Debian package cc65) is not installed: run .ci/deps")
    source = open(program, encoding="latin-1").read()
    m = re.search(r"^; expect: (\d+)$", source, re.M)
    if not m:
        return fail(f"{name}: no '; expect: N' line")
    expected = int(m.group(1))

    with tempfile.TemporaryDirectory(prefix="xexasm-sim65-") as work:
        shutil.copy(program, os.path.join(work, "prog.asm"))
        p = subprocess.run([xexasm, "prog.asm"], cwd=work, capture_output=True, timeout=60)
        if p.returncode != 0:
            return fail(f"{name}: xexasm status {p.returncode}\n{p.stderr.decode(errors='replace')}")
        listing = p.stdout.decode("latin-1")
        s = re.search(r"^start\t\$([0-9a-f]{4})$", listing, re.M)
        if not s:
            return fail(f"{name}: no label start in the symbol listing")
        reset = int(s.group(1), 16)
        try:
            segs = segments(open(os.path.join(work, "prog.xex"), "rb").read())
        except ValueError as e:
            return fail(f"{name}: {e}")
        image = os.path.join(work, "prog.sim")
        with open(image, "wb") as f:
            f.write(sim65_file(segs, reset))
        try:
            r = subprocess.run([sim65, "-x", str(CYCLE_LIMIT), image], capture_output=True, timeout=60)
        except subprocess.TimeoutExpired:
            return fail(f"{name}: sim65 did not finish")
        where = ", ".join(f"${s:04x}-${s + len(b) - 1:04x}" for s, b in segs)
        print(f"{name}: segments {where}, reset ${reset:04x}, status {r.returncode}, expected {expected}")
        if r.stderr:
            print(r.stderr.decode(errors="replace").rstrip())
        if r.returncode != expected:
            return fail(f"{name}: sim65 exit status {r.returncode}, expected {expected}")
    print("1 passed, 0 failed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
