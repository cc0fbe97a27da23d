#!/usr/bin/env python3
"""Writes a mutation run's faults: likely slips at places drawn at random (fixed seed) from
every product folder, in proportion to its lines, as ../shared/mutate/mutate.py reads them.

    tests/mutation/make_mutants.py [--count 120] [--seed 1] > tests/mutation/mutants.tsv

Each fault changes one operator where it stands in code (not in comments or strings): a
comparison flipped or made strict, && for ||, a bound moved by one, a condition negated.
"""
import argparse
import pathlib
import random
import re

FOLDERS = ['base', 'source', 'parser', 'assembly', 'output', 'fast', 'driver', 'tools']
SLIPS = [  # (pattern, replacement)
    (r' <= ', ' < '), (r' < ', ' <= '), (r' >= ', ' > '), (r' > ', ' >= '),
    (r' == ', ' != '), (r' != ', ' == '), (r' && ', ' || '), (r' \|\| ', ' && '),
    (r' \+ 1\b', ' + 2'), (r' - 1\b', ' - 2'), (r'\bif \(!', 'if ('),
]


def code_part(line):
    """The line up to a comment, with string and character literals blanked."""
    line = re.sub(r'"(\\.|[^"\\])*"', lambda m: ' ' * len(m.group(0)), line)
    line = re.sub(r"'(\\.|[^'\\])'", lambda m: ' ' * len(m.group(0)), line)
    return line.split('//', 1)[0]


def sites(path):
    text = path.read_text()
    for line in text.splitlines():
        stripped = line.strip()
        if not stripped or stripped.startswith(('#', '//', '*', 'static_assert')):
            continue
        code = code_part(line)
        for pattern, new in SLIPS:
            for m in re.finditer(pattern, code):
                old = line[m.start():m.end()]
                replacement = re.sub(pattern, new, old)
                # (cut before a backslash, which the run's reader would take for an escape)
                find = line[m.start():].split('\\', 1)[0]
                k = text.count(find)
                yield find, old, replacement, k


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--count', type=int, default=120)
    ap.add_argument('--seed', type=int, default=1)
    a = ap.parse_args()
    root = pathlib.Path(__file__).resolve().parents[2]
    rng = random.Random(a.seed)
    files = {d: sorted((root / d).glob('*.cpp')) + sorted((root / d).glob('*.h')) for d in FOLDERS}
    lines = {d: sum(len(f.read_text().splitlines()) for f in fs) for d, fs in files.items()}
    total = sum(lines.values())
    print('# ID\tFILE\tFIND\tOLD\tNEW\tNOTE  (written by tests/mutation/make_mutants.py)')
    n = 0
    for d in FOLDERS:
        candidates = [(f, s) for f in files[d] for s in sites(f)]
        for f, (find, old, new, k) in rng.sample(candidates, min(len(candidates), round(a.count * lines[d] / total))):
            n += 1
            # A FIND that occurs more than once is taken at its first occurrence ('#1').
            find_field = find if k == 1 else find + '#1'
            esc = lambda s: s.replace('\t', '\\t')
            print(f'M{n:03d}\t{f.relative_to(root)}\t{esc(find_field)}\t{esc(old)}\t{esc(new)}\t{old.strip()} -> {new.strip()}')


if __name__ == '__main__':
    main()
