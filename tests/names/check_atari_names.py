#!/usr/bin/env python3
"""Every value of share/xexasm/atari.names against the same name in the Atari include
files of the cc65 package (an independent source on this machine): where cc65 defines a
name, the values must agree. Usage: check_atari_names.py NAMES_FILE [CC65_ASMINC_DIR]"""
import os
import re
import sys

# Where cc65's files are known to be wrong: the paddle triggers PTRIG0-PTRIG7 lie at
# $027C-$0283, one byte each, and cc65 (2.19) gives PTRIG6 the address of PTRIG5.
CC65_SLIPS = {'PTRIG6': 0x0281}

ASSIGN = re.compile(r'^\s*([A-Za-z_][A-Za-z0-9_]*)\s*=\s*([^;]*)')


def number(token, known):
    token = token.strip()
    if token.startswith('$'):
        return int(token[1:], 16)
    if token.startswith('%'):
        return int(token[1:], 2)
    if token.isdigit():
        return int(token)
    return known[token]  # a name defined earlier; KeyError when it is not


def evaluate(expression, known):
    """Sums, differences and products of numbers and earlier names, left to right with *
    before + and -: the forms the include files use."""
    total = 0
    for sign, term in re.findall(r'([+-]?)\s*([^+-]+)', expression.strip()):
        value = 1
        for factor in term.split('*'):
            value *= number(factor, known)
        total += -value if sign == '-' else value
    return total


def read_cc65(directory):
    known = {}
    for name in ('atari.inc', 'atari_gtia.inc', 'atari_pokey.inc', 'atari_antic.inc'):
        path = os.path.join(directory, name)
        # The chip files name their registers as offsets from the chip's base, which
        # atari.inc sets before it includes them: read atari.inc's bases first.
        for line in open(path, encoding='latin-1'):
            m = ASSIGN.match(line)
            if not m:
                continue
            try:
                known[m.group(1)] = evaluate(m.group(2), known)
            except (KeyError, ValueError):
                pass  # a form this check does not read; such a name is not compared
    return known


def read_names(path):
    names = {}
    for number_of_line, line in enumerate(open(path, encoding='ascii'), 1):
        text = line.split(';', 1)[0].strip()
        if not text:
            continue
        m = re.fullmatch(r'([A-Za-z_][A-Za-z0-9_]*)\s*=\s*(\$[0-9A-Fa-f]+|[0-9]+)', text)
        if not m:
            sys.exit(f'FAIL {path}:{number_of_line}: not NAME = VALUE: {text}')
        if m.group(1) in names:
            sys.exit(f'FAIL {path}:{number_of_line}: {m.group(1)} given twice')
        names[m.group(1)] = number(m.group(2), {})
    return names


def main():
    names = read_names(sys.argv[1])
    directory = sys.argv[2] if len(sys.argv) > 2 else '/usr/share/cc65/asminc'
    if not os.path.isdir(directory):
        sys.exit('FAIL cc65 (Debian package cc65) is not installed: run .ci/deps')
    cc65 = read_cc65(directory)
    compared = [n for n in names if n in cc65]
    wrong = []
    for n in compared:
        if cc65[n] != names[n] and CC65_SLIPS.get(n) != cc65[n]:
            wrong.append(n)
            print(f'FAIL {n} = ${names[n]:04X} here, ${cc65[n]:04X} in cc65')
    # Most names are in cc65's files; a check that compares few of them reads them wrong.
    coverage = len(compared) >= len(names) * 9 // 10
    if not coverage:
        print(f'FAIL only {len(compared)} of {len(names)} names found in cc65')
    print(f'{len(compared) - len(wrong)} passed, {len(wrong) + (0 if coverage else 1)} failed')
    sys.exit(0 if coverage and not wrong else 1)


main()
