#!/usr/bin/env python3
"""bench/gen_program.py - writes one realistic 6502 program for the whole-program benchmarks.

    bench/gen_program.py --lines 100k --out DIR [--seed 6502]

The same program in xexasm's language and in the dialects of five 6502 assemblers from
Debian, with the output each one must produce, worked out here from the generator's own
opcode table (nothing is assembled to make it):

    prog.asm              xexasm prog.asm                        -> prog.xex  = expected.xex
    prog.64tass.s         64tass -q -b --flat                    -> flat image = expected.bin
    prog.dasm.s           dasm -f3                               -> flat image = expected.bin
    prog.xa.s             xa                                     -> flat image = expected.bin
    prog.ca65.s, .cfg     ca65, then ld65 -C prog.ca65.cfg       -> flat image = expected.bin
    prog.acme.s           acme -f plain                          -> memory image = expected.acme.bin
    manifest.json         lines, labels, statements, sections, bytes

The flat image is every section's bytes, one section after the other in source order. acme
keeps its output in one 64 KiB memory, so its dialect loads every section at its own
address, later ones over earlier ones (the banks all start at $4000), and its image is that
memory from the lowest address written to the highest: it checks the last bank's bytes and
every other section's, not the earlier banks'. xa and dasm keep their output in 64 KiB and
640 KiB: they fail on programs of more than about 30k and 300k lines.

The program, for an Atari 8-bit computer with banked memory:
- "zp" at $80: the zero-page variables, first, so that every use of them is known;
- "main" at $2000: start-up, then a loop that switches in each bank (PORTB) and calls it
  (the first 400 banks);
- "lib" at $3000: common routines that the banks call;
- "data" at $8000: byte, address and text tables and buffers used from every bank;
- "bank000", "bank001", ... at $4000, 16 KiB each: as many as the size asks for, each a
  run of routines with their own tables, strings and buffers between them;
- "run" at $02E0: the run address.
A routine is a few blocks of instructions, each block under a label (about one label per
seven lines), with every addressing form, branches back and forward within the routine,
JSR and JMP to routines of the same bank, of earlier banks and of "lib", and comments.
There are no equates. Only forms that every one of these assemblers writes alike are used
(no BIT #, no STY abs,X, no BRK).
"""
import argparse
import json
import os
import random
import sys

# Opcode of each form. Forms as encoded: imp, acc, imm, zp, abs, zpx, absx, zpy, absy,
# indx "(zp,X)", indy "(zp),Y", ind "(abs)", rel.
ALU = ('imm', 'zp', 'abs', 'zpx', 'absx', 'absy', 'indx', 'indy')
OPS = {
    'ADC': dict(zip(ALU, (0x69, 0x65, 0x6D, 0x75, 0x7D, 0x79, 0x61, 0x71))),
    'AND': dict(zip(ALU, (0x29, 0x25, 0x2D, 0x35, 0x3D, 0x39, 0x21, 0x31))),
    'CMP': dict(zip(ALU, (0xC9, 0xC5, 0xCD, 0xD5, 0xDD, 0xD9, 0xC1, 0xD1))),
    'EOR': dict(zip(ALU, (0x49, 0x45, 0x4D, 0x55, 0x5D, 0x59, 0x41, 0x51))),
    'LDA': dict(zip(ALU, (0xA9, 0xA5, 0xAD, 0xB5, 0xBD, 0xB9, 0xA1, 0xB1))),
    'ORA': dict(zip(ALU, (0x09, 0x05, 0x0D, 0x15, 0x1D, 0x19, 0x01, 0x11))),
    'SBC': dict(zip(ALU, (0xE9, 0xE5, 0xED, 0xF5, 0xFD, 0xF9, 0xE1, 0xF1))),
    'STA': dict(zip(ALU[1:], (0x85, 0x8D, 0x95, 0x9D, 0x99, 0x81, 0x91))),
    'ASL': dict(acc=0x0A, zp=0x06, abs=0x0E, zpx=0x16, absx=0x1E),
    'LSR': dict(acc=0x4A, zp=0x46, abs=0x4E, zpx=0x56, absx=0x5E),
    'ROL': dict(acc=0x2A, zp=0x26, abs=0x2E, zpx=0x36, absx=0x3E),
    'ROR': dict(acc=0x6A, zp=0x66, abs=0x6E, zpx=0x76, absx=0x7E),
    'INC': dict(zp=0xE6, abs=0xEE, zpx=0xF6, absx=0xFE),
    'DEC': dict(zp=0xC6, abs=0xCE, zpx=0xD6, absx=0xDE),
    'LDX': dict(imm=0xA2, zp=0xA6, abs=0xAE, zpy=0xB6, absy=0xBE),
    'LDY': dict(imm=0xA0, zp=0xA4, abs=0xAC, zpx=0xB4, absx=0xBC),
    'STX': dict(zp=0x86, abs=0x8E, zpy=0x96),
    'STY': dict(zp=0x84, abs=0x8C, zpx=0x94),
    'CPX': dict(imm=0xE0, zp=0xE4, abs=0xEC),
    'CPY': dict(imm=0xC0, zp=0xC4, abs=0xCC),
    'BIT': dict(zp=0x24, abs=0x2C),
    'JMP': dict(abs=0x4C, ind=0x6C),
    'JSR': dict(abs=0x20),
}
for _m, _op in dict(BCC=0x90, BCS=0xB0, BEQ=0xF0, BMI=0x30, BNE=0xD0, BPL=0x10, BVC=0x50, BVS=0x70).items():
    OPS[_m] = {'rel': _op}
for _m, _op in dict(CLC=0x18, CLD=0xD8, CLI=0x58, CLV=0xB8, DEX=0xCA, DEY=0x88, INX=0xE8, INY=0xC8,
                    NOP=0xEA, PHA=0x48, PHP=0x08, PLA=0x68, PLP=0x28, RTI=0x40, RTS=0x60, SEC=0x38,
                    SED=0xF8, SEI=0x78, TAX=0xAA, TAY=0xA8, TSX=0xBA, TXA=0x8A, TXS=0x9A, TYA=0x98).items():
    OPS[_m] = {'imp': _op}
SIZE = dict(imp=1, acc=1, imm=2, zp=2, zpx=2, zpy=2, indx=2, indy=2, rel=2, abs=3, absx=3, absy=3, ind=3)
BRANCHES = ('BCC', 'BCS', 'BEQ', 'BMI', 'BNE', 'BPL', 'BVC', 'BVS')

# The zero-page variables: name and size. Words serve the indirect forms, zbuf the indexed ones.
ZP_VARS = [('zsrc', 2), ('zdst', 2), ('zptr', 2), ('zvec', 2), ('zacc', 2), ('zcnt', 1), ('zidx', 1),
           ('ztmp', 1), ('zlen', 1), ('zcol', 1), ('zrow', 1), ('zflag', 1), ('zkey', 1), ('zbuf', 8)]
ZP_WORDS = ('zsrc', 'zdst', 'zptr', 'zvec', 'zacc')
ZP_BYTES = ('zcnt', 'zidx', 'ztmp', 'zlen', 'zcol', 'zrow', 'zflag', 'zkey')
# Hardware and OS addresses: absolute ones, and two in page zero (RTCLOK, SAVMSC).
HW_ABS = (0xD01A, 0xD40A, 0xD20A, 0x02C8, 0xD000, 0xD01F, 0x0340, 0xD400, 0x02F4, 0xD018)
HW_ZP = (0x14, 0x58)
TEXT_CHARS = 'ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz0123456789.,!?-:/'
CHAR_CONSTS = 'ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-:'
WORDS = ('copy', 'clear', 'draw', 'scroll', 'read', 'wait', 'update', 'check', 'move', 'print',
         'sound', 'score', 'joystick', 'sprite', 'colour', 'table', 'buffer', 'player', 'screen')

# Expressions: ('n', value, hex?), ('c', char), ('s', name, offset), ('lo', name), ('hi', name).
# Data items are expressions or ('str', text). Statements: ('sec', section),
# ('i', mnemonic, written form, encoded form, expression), ('db', items), ('dw', items), ('ds', n).
# A line is [label, statement, comment], any of them None. No colon in a comment: xa takes
# one as the end of a statement, even there.

WRITTEN_TO_ENCODED = {'mem': ('zp', 'abs'), 'memx': ('zpx', 'absx'), 'memy': ('zpy', 'absy')}


class Section:
    def __init__(self, name, addr, limit):
        self.name, self.addr, self.limit = name, addr, limit
        self.lines = []
        self.size = 0
        self.data = None


class Program:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.sections = []          # in source order
        self.labels = {}            # name -> address
        self.statements = 0
        self.sec = None             # the section that lines go into
        self.zp_names = {n for n, _ in ZP_VARS}
        self.global_tables = []     # (name, length) of the tables of "data"
        self.local_tables = []      # the same, of the current bank

    # -- building ---------------------------------------------------------------------------

    def section(self, name, addr, limit):
        s = Section(name, addr, limit)
        self.sections.append(s)
        self.sec = s
        s.lines.append([None, ('sec', s), None])
        self.statements += 1
        return s

    def line(self, label=None, stmt=None, comment=None):
        s = self.sec
        if label is not None:
            assert label not in self.labels, label
            self.labels[label] = s.addr + s.size
            self.statements += 1
        if stmt is not None:
            s.size += stmt_size(stmt)
            self.statements += 1
        s.lines.append([label, stmt, comment])

    def small(self, e):
        """Whether an operand takes the zero-page form: known now (every zero-page label is
        defined before the code), and checked again when the bytes are worked out."""
        if e[0] == 'n':
            return e[1] < 256
        return e[0] == 's' and e[1] in self.zp_names

    def ins(self, mn, written, e=None):
        if written in WRITTEN_TO_ENCODED:
            zp, ab = WRITTEN_TO_ENCODED[written]
            enc = zp if self.small(e) and zp in OPS[mn] else ab
        else:
            enc = written
        assert enc in OPS[mn], (mn, written, e)
        return ('i', mn, written, enc, e)

    # -- operands -----------------------------------------------------------------------------

    def zp_byte(self):
        r = self.rng.random()
        if r < 0.6:
            return ('s', self.rng.choice(ZP_BYTES), 0)
        if r < 0.9:
            return ('s', self.rng.choice(ZP_WORDS), self.rng.randint(0, 1))
        return ('n', self.rng.choice(HW_ZP), True)

    def data_ref(self):
        """An absolute data address: a table of this bank, a global table, or a register."""
        r = self.rng.random()
        if r < 0.45 and self.local_tables:
            name, length = self.rng.choice(self.local_tables[-12:])
        elif r < 0.85:
            name, length = self.rng.choice(self.global_tables)
        else:
            return ('n', self.rng.choice(HW_ABS), True)
        return ('s', name, self.rng.randrange(min(length, 16)))

    def table_ref(self):
        r = self.data_ref()
        return r if r[0] == 's' else ('s', self.rng.choice(self.global_tables)[0], 0)

    def imm(self):
        r = self.rng.random()
        if r < 0.45:
            return ('n', self.rng.randrange(256), self.rng.random() < 0.6)
        if r < 0.6:
            return ('c', self.rng.choice(CHAR_CONSTS))
        name = self.table_ref()[1]
        return ('lo', name) if r < 0.8 else ('hi', name)

    # Instruction templates: mnemonic and kind of operand, repeated by weight.
    TEMPLATES = (
        [('LDA', k) for k in ('imm', 'imm', 'zp', 'zp', 'abs', 'abs', 'zpx', 'absx', 'absx', 'absy',
                              'zpabsy', 'indx', 'indy', 'indy')]
        + [('STA', k) for k in ('zp', 'zp', 'abs', 'abs', 'zpx', 'absx', 'absy', 'indx', 'indy', 'indy')]
        + [('LDX', k) for k in ('imm', 'imm', 'zp', 'abs', 'zpy', 'absy')]
        + [('LDY', k) for k in ('imm', 'imm', 'zp', 'abs', 'zpx', 'absx')]
        + [('STX', k) for k in ('zp', 'abs', 'zpy')] + [('STY', k) for k in ('zp', 'abs', 'zpx')]
        + [(m, k) for m in ('ADC', 'SBC', 'AND', 'ORA', 'EOR', 'CMP')
           for k in ('imm', 'zp', 'abs', 'zpx', 'absx', 'absy', 'indx', 'indy')]
        + [(m, k) for m in ('CPX', 'CPY') for k in ('imm', 'zp', 'abs')]
        + [('BIT', 'zp'), ('BIT', 'abs')]
        + [(m, k) for m in ('INC', 'DEC') for k in ('zp', 'abs', 'zpx', 'absx')]
        + [(m, k) for m in ('ASL', 'LSR', 'ROL', 'ROR') for k in ('acc', 'zp', 'abs', 'zpx', 'absx')]
        + [(m, 'imp') for m in ('INX', 'DEX', 'INY', 'DEY', 'TAX', 'TXA', 'TAY', 'TYA', 'PHA', 'PLA',
                                'CLC', 'SEC', 'CLC', 'SEC', 'INX', 'DEY', 'PHP', 'PLP', 'TSX', 'TXS',
                                'CLV', 'CLD', 'SED', 'CLI', 'SEI', 'NOP')]
    )

    def random_ins(self):
        mn, kind = self.rng.choice(self.TEMPLATES)
        rng = self.rng
        if kind == 'imp':
            return self.ins(mn, 'imp')
        if kind == 'acc':
            return self.ins(mn, 'acc')
        if kind == 'imm':
            return self.ins(mn, 'imm', self.imm())
        if kind == 'zp':
            return self.ins(mn, 'mem', self.zp_byte())
        if kind == 'abs':
            return self.ins(mn, 'mem', self.data_ref())
        if kind == 'zpx':
            return self.ins(mn, 'memx', ('s', 'zbuf', rng.randrange(8)))
        if kind == 'zpy':
            return self.ins(mn, 'memy', ('s', 'zbuf', rng.randrange(8)))
        if kind == 'absx':
            return self.ins(mn, 'memx', self.table_ref())
        if kind == 'absy':
            return self.ins(mn, 'memy', self.table_ref())
        if kind == 'zpabsy':   # a zero-page variable indexed by Y: the absolute form
            return self.ins(mn, 'memy', ('s', rng.choice(ZP_BYTES + ('zbuf',)), 0))
        if kind == 'indx':
            return self.ins(mn, 'indx', ('s', rng.choice(ZP_WORDS), 0))
        if kind == 'indy':
            return self.ins(mn, 'indy', ('s', rng.choice(ZP_WORDS), 0))
        raise AssertionError(kind)

    # -- routines and data --------------------------------------------------------------------

    def routine(self, name, calls, jumps):
        """One routine: blocks under labels, branches within it, calls and a way out.
        `calls` and `jumps` are routines it may JSR or JMP to (the next one among them, which
        comes further down)."""
        rng = self.rng
        self.line(comment=f'{name} - {rng.choice(WORDS)} the {rng.choice(WORDS)}')
        nblocks = rng.randint(2, 5)
        names = [name] + [f'{name}_{b}' for b in range(1, nblocks)]
        for b in range(nblocks):
            if rng.random() < 0.15:   # a copy loop, with a label of its own
                body = [(None, self.ins('LDY', 'imm', ('n', rng.randint(1, 32), False))),
                        (f'{names[b]}_l', self.ins('LDA', 'indy', ('s', 'zsrc', 0))),
                        (None, self.ins('STA', 'indy', ('s', 'zdst', 0))),
                        (None, self.ins('DEY', 'imp')),
                        (None, self.ins('BPL', 'rel', ('s', f'{names[b]}_l', 0)))]
            else:
                body = [(None, self.random_ins()) for _ in range(rng.randint(4, 9))]
                if calls and rng.random() < 0.4:
                    body.insert(rng.randint(0, len(body)),
                                (None, self.ins('JSR', 'mem', ('s', rng.choice(calls), 0))))
                if b + 1 < nblocks and rng.random() < 0.5:   # forward, to the next block
                    body.insert(rng.randint(1, len(body)),
                                (None, self.ins(rng.choice(BRANCHES), 'rel', ('s', names[b + 1], 0))))
                if rng.random() < 0.5:                       # backward, to this or the last block
                    target = names[max(0, b - rng.randint(0, 1))]
                    body.append((None, self.ins(rng.choice(BRANCHES), 'rel', ('s', target, 0))))
            if rng.random() < 0.2:
                self.line(names[b])                          # the label on a line of its own
            else:
                body[0] = (names[b], body[0][1])
            for label, stmt in body:
                self.line(label, stmt, rng.choice(WORDS) if rng.random() < 0.12 else None)
        r = rng.random()
        if r < 0.7 or not jumps:
            self.line(None, self.ins('RTS', 'imp'))
        elif r < 0.9:
            self.line(None, self.ins('JMP', 'mem', ('s', rng.choice(jumps), 0)))
        elif r < 0.95:
            self.line(None, self.ins('JMP', 'ind', ('s', 'zvec', 0)))
        else:
            self.line(None, self.ins('RTI', 'imp'))
        self.line()

    def data_block(self, name, kind, length, words_from):
        """A table under a label: bytes, addresses (.DW of routines), text or a buffer."""
        rng = self.rng
        if kind == 'bytes':
            self.line(comment=f'{name} - {length} bytes')
            items = []
            for _ in range(length):
                r = rng.random()
                if r < 0.7:
                    items.append(('n', rng.randrange(256), rng.random() < 0.7))
                elif r < 0.85:
                    items.append(('c', rng.choice(CHAR_CONSTS)))
                else:
                    t = rng.choice(words_from) if words_from else 'start'
                    items.append(('lo' if r < 0.93 else 'hi', t))
            label = name
            for i in range(0, length, 8):
                self.line(label, ('db', items[i:i + 8]))
                label = None
        elif kind == 'words':
            items = [('s', rng.choice(words_from), 0 if rng.random() < 0.8 else rng.randint(1, 3))
                     for _ in range(length // 2)]
            label = name
            for i in range(0, len(items), 4):
                self.line(label, ('dw', items[i:i + 4]))
                label = None
        elif kind == 'text':
            text = ''.join(rng.choice(TEXT_CHARS) for _ in range(length - 1))
            self.line(name, ('db', [('str', text), ('n', 0x9B, True)]), 'ends with an EOL')
        else:
            self.line(name, ('ds', length))

    def plan_table(self):
        kind = self.rng.choice(('bytes', 'bytes', 'words', 'text', 'buf'))
        length = {'bytes': self.rng.randint(4, 40), 'words': 2 * self.rng.randint(2, 12),
                  'text': self.rng.randint(8, 40), 'buf': self.rng.choice((8, 16, 32, 64))}[kind]
        return kind, length


def stmt_size(stmt):
    k = stmt[0]
    if k == 'i':
        return SIZE[stmt[3]]
    if k == 'db':
        return sum(len(x[1]) if x[0] == 'str' else 1 for x in stmt[1])
    if k == 'dw':
        return 2 * len(stmt[1])
    if k == 'ds':
        return stmt[1]
    return 0


def table_lines(kind, length):
    """Lines that data_block writes for a table."""
    if kind == 'bytes':
        return 1 + (length + 7) // 8
    if kind == 'words':
        return (length // 2 + 3) // 4
    return 1


def generate(lines, seed):
    p = Program(seed)
    rng = p.rng
    n_lib = min(24, max(4, lines // 2000))
    n_global = min(48, max(8, lines // 1000))
    lib_names = [f'lib{k}' for k in range(n_lib)]

    p.section('zp', 0x80, 0x80)
    p.line(comment='zero-page variables first, so that every use of them below knows them')
    for name, size in ZP_VARS:
        p.line(name, ('ds', size))
    p.line()

    # Global tables: planned first so that all code may use them, written at the end, when
    # the routines that their address tables point at are known.
    plans = [(f'g{k}',) + p.plan_table() for k in range(n_global)]
    p.global_tables = [(name, length) for name, _, length in plans]

    p.section('lib', 0x3000, 0x1000)
    p.line(comment='common routines, called from every bank')
    for k, name in enumerate(lib_names):
        p.routine(name, lib_names[:k], lib_names[:k])

    # Banks: routines with tables between them, until the lines run out. The lines of main
    # (three per bank it calls), data and run are counted in advance.
    fixed = sum(len(s.lines) for s in p.sections) + 11 + len(ZP_BYTES) \
        + 3 + sum(table_lines(k, n) for _, k, n in plans) + 3
    banks = []             # (section, name of its first routine)
    routines = []          # every bank routine, in order
    in_bank = []           # the routines of the current bank
    bank_lines = 0         # lines of the finished banks
    rid = 0
    while True:
        used = fixed + bank_lines + (len(p.sec.lines) if banks else 0) + 3 * min(len(banks) + 1, 400)
        final = used + 100 > lines
        if not banks or p.sec.size > 0x4000 - 800:
            if banks:
                bank_lines += len(p.sec.lines)
            bank = p.section(f'bank{len(banks):03d}', 0x4000, 0x4000)
            p.line(comment=f'bank {len(banks)}, switched in at $4000 through PORTB')
            banks.append((bank, f'r{rid}'))
            p.local_tables = []
            in_bank = []
        name = f'r{rid}'
        nxt = [] if final else [f'r{rid + 1}']
        p.routine(name, lib_names + in_bank[-6:] + nxt, routines[-40:] + nxt + lib_names[:2])
        routines.append(name)
        in_bank.append(name)
        rid += 1
        if final:
            break
        if rng.random() < 0.4:
            kind, length = p.plan_table()
            p.data_block(f't{rid}', kind, length, routines[-8:])
            p.local_tables.append((f't{rid}', length))

    p.section('main', 0x2000, 0x1000)
    p.line('start', p.ins('SEI', 'imp'), 'the program starts here')
    p.line(None, p.ins('CLD', 'imp'))
    p.line(None, p.ins('LDX', 'imm', ('n', 0xFF, True)))
    p.line(None, p.ins('TXS', 'imp'))
    p.line(None, p.ins('LDA', 'imm', ('n', 0, False)))
    for name in ZP_BYTES:
        p.line(None, p.ins('STA', 'mem', ('s', name, 0)))
    p.line('frame', p.ins('LDA', 'mem', ('n', 0x14, True)), 'RTCLOK, wait for the next frame')
    p.line('wait', p.ins('CMP', 'mem', ('n', 0x14, True)))
    p.line(None, p.ins('BEQ', 'rel', ('s', 'wait', 0)))
    for k, (bank, entry) in enumerate(banks[:400]):
        portb = 0xE3 | (k & 3) << 2 | (k >> 2 & 3) << 5
        p.line(None, p.ins('LDA', 'imm', ('n', portb, True)), f'bank {k}')
        p.line(None, p.ins('STA', 'mem', ('n', 0xD301, True)), 'PORTB')
        p.line(None, p.ins('JSR', 'mem', ('s', entry, 0)))
    p.line(None, p.ins('JMP', 'mem', ('s', 'frame', 0)))
    p.line()

    p.section('data', 0x8000, 0x4000)
    p.line(comment='tables used from every bank')
    targets = lib_names + routines[::max(1, len(routines) // 200)]
    for name, kind, length in plans:
        p.data_block(name, kind, length, targets)
    p.line()

    p.section('run', 0x02E0, 2)
    p.line(comment='RUNAD, where DOS starts the program')
    p.line(None, ('dw', [('s', 'start', 0)]))
    total = sum(len(s.lines) for s in p.sections)
    for k in range(lines - total):
        p.line(comment='end of the program' if k == 0 else None)

    # Source order: zp, main, lib, data, the banks, run.
    order = ['zp', 'main', 'lib', 'data'] + [b.name for b, _ in banks] + ['run']
    by_name = {s.name: s for s in p.sections}
    p.sections = [by_name[n] for n in order]
    for s in p.sections:
        assert s.size <= s.limit, (s.name, s.size)
    return p


# -- bytes --------------------------------------------------------------------------------------

def value(p, e):
    k = e[0]
    if k == 'n':
        return e[1]
    if k == 'c':
        return ord(e[1])
    if k == 's':
        return p.labels[e[1]] + e[2]
    if k == 'lo':
        return p.labels[e[1]] & 0xFF
    return (p.labels[e[1]] >> 8) & 0xFF


def encode(p):
    for s in p.sections:
        out = bytearray()
        for label, stmt, _ in s.lines:
            if stmt is None or stmt[0] == 'sec':
                continue
            k = stmt[0]
            if k == 'i':
                _, mn, written, enc, e = stmt
                out.append(OPS[mn][enc])
                if enc in ('imp', 'acc'):
                    continue
                v = value(p, e)
                if enc == 'rel':
                    d = v - (s.addr + len(out) + 1)
                    assert -128 <= d <= 127, ('branch out of range', s.name, e)
                    out.append(d & 0xFF)
                elif SIZE[enc] == 2:
                    assert enc == 'imm' or v < 256, e
                    out.append(v & 0xFF)
                else:
                    assert written not in WRITTEN_TO_ENCODED or enc == 'absy' or v >= 256, e
                    out += bytes((v & 0xFF, (v >> 8) & 0xFF))
            elif k == 'db':
                for x in stmt[1]:
                    out += x[1].encode('ascii') if x[0] == 'str' else bytes((value(p, x) & 0xFF,))
            elif k == 'dw':
                for x in stmt[1]:
                    v = value(p, x)
                    out += bytes((v & 0xFF, (v >> 8) & 0xFF))
            else:
                out += bytes(stmt[1])
        assert len(out) == s.size, s.name
        s.data = bytes(out)


def xexasm_hash(name):
    h = 0
    for c in name.encode():
        h = ((h << 12) + c) & 0xFFFF
        top = h & 0xC000
        if top:
            h = (h ^ (top >> 12)) & 0x3FFF
    return h


def expected_xex(p):
    """xexasm writes one segment per section in the order of its section table: 11 buckets
    by the hash of the name, each from the newest section to the oldest."""
    buckets = [[] for _ in range(11)]
    for s in p.sections:                 # the order in which pass 1 creates them
        buckets[xexasm_hash(s.name) % 11].insert(0, s)
    out = bytearray(b'\xff\xff')
    for b in buckets:
        for s in b:
            end = (s.addr + s.size - 1) & 0xFFFF
            out += bytes((s.addr & 0xFF, s.addr >> 8, end & 0xFF, end >> 8)) + s.data
    return bytes(out)


def expected_memory(p):
    mem = bytearray(0x10000)
    lo, hi = 0x10000, 0
    for s in p.sections:
        mem[s.addr:s.addr + s.size] = s.data
        lo, hi = min(lo, s.addr), max(hi, s.addr + s.size)
    return bytes(mem[lo:hi])


# -- text ---------------------------------------------------------------------------------------

class Dialect:
    """How one assembler writes each thing. The defaults are the most common spelling."""
    label_colon = False
    acc = ' a'
    lo, hi = '<', '>'
    db, dw = '.byte', '.word'

    def head(self, p):
        return []

    def begin(self, s, phys):
        raise NotImplementedError

    def end(self, s):
        return []

    def mnemonic(self, mn):
        return mn.lower()

    def reg(self, r):
        return r.lower()

    def char(self, c):
        return f"'{c}'"

    def ds(self, n):
        return f'.fill {n}, 0'

    def db_line(self, items):
        return f'{self.db} {", ".join(self.item(x) for x in items)}'

    def item(self, x):
        return f'"{x[1]}"' if x[0] == 'str' else self.expr(x)

    def expr(self, e):
        k = e[0]
        if k == 'n':
            return f'${e[1]:X}' if e[2] else str(e[1])
        if k == 'c':
            return self.char(e[1])
        if k == 's':
            return f'{e[1]}+{e[2]}' if e[2] else e[1]
        return (self.lo if k == 'lo' else self.hi) + e[1]

    def stmt(self, st):
        k = st[0]
        if k == 'i':
            _, mn, written, _, e = st
            m = self.mnemonic(mn)
            if written == 'imp':
                return m
            if written == 'acc':
                return m + self.acc
            x = self.expr(e)
            return m + ' ' + {'imm': '#{}', 'mem': '{}', 'rel': '{}', 'memx': '{},' + self.reg('X'),
                              'memy': '{},' + self.reg('Y'), 'indx': '({},' + self.reg('X') + ')',
                              'indy': '({}),' + self.reg('Y'), 'ind': '({})'}[written].format(x)
        if k == 'db':
            return self.db_line(st[1])
        if k == 'dw':
            return f'{self.dw} {", ".join(self.expr(x) for x in st[1])}'
        return self.ds(st[1])

    def render(self, p):
        out = self.head(p)
        phys = 0
        current = None
        colon = ':' if self.label_colon else ''
        for s in p.sections:
            for label, st, comment in s.lines:
                if st is not None and st[0] == 'sec':
                    if current is not None:
                        out += self.end(current)
                    out += self.begin(s, phys)
                    phys += s.size
                    current = s
                    continue
                text = label + colon if label else ''
                if st is not None:
                    text = (text.ljust(8) if len(text) < 8 else text + ' ') + self.stmt(st)
                if comment:
                    text = (text.ljust(32) if len(text) < 32 else text + ' ') + '; ' + comment if text else '; ' + comment
                out.append(text)
        out += self.end(current)
        out.append('')
        return '\n'.join(out)


class Xexasm(Dialect):
    label_colon = True
    acc = ' A'
    lo, hi = '>', '<'          # > is the low byte, < the high byte
    db, dw = '.DB', '.DW'

    def begin(self, s, phys):
        return [f'        .SECTION "{s.name}",${s.addr:X}']

    def mnemonic(self, mn):
        return mn

    def reg(self, r):
        return r

    def char(self, c):
        return "'" + c            # no closing apostrophe

    def ds(self, n):
        return f'.DS {n}'


class Tass64(Dialect):           # 64tass -b --flat: physical addresses past 64 KiB
    def head(self, p):
        return ['        .cpu "6502"']

    def begin(self, s, phys):
        return [f'        * = ${phys:X}', f'        .logical ${s.addr:X}']

    def end(self, s):
        return ['        .here']

    def db_line(self, items):
        kw = '.text' if any(x[0] == 'str' for x in items) else '.byte'
        return f'{kw} {", ".join(self.item(x) for x in items)}'


class Dasm(Dialect):
    acc = ''
    db, dw = 'dc.b', 'dc.w'

    def head(self, p):
        return ['        processor 6502']

    def begin(self, s, phys):
        return [f'        org ${phys:X}', f'        rorg ${s.addr:X}']

    def end(self, s):
        return ['        rend']

    def char(self, c):
        return "'" + c

    def ds(self, n):
        return f'ds.b {n}'


class Acme(Dialect):             # one 64 KiB memory: each section at its own address
    acc = ''
    db, dw = '!byte', '!word'

    def head(self, p):
        return ['        !cpu 6502']

    def begin(self, s, phys):
        return [f'        * = ${s.addr:X}, overlay']

    def ds(self, n):
        return f'!fill {n}, 0'

    def db_line(self, items):
        kw = '!text' if any(x[0] == 'str' for x in items) else '!byte'
        return f'{kw} {", ".join(self.item(x) for x in items)}'


class Xa(Dialect):               # writes the bytes in order, whatever the address
    acc = ''
    db = '.byt'

    def begin(self, s, phys):
        return [f'        *= ${s.addr:X}']

    def ds(self, n):
        return f'.dsb {n}, 0'


class Ca65(Dialect):             # one segment per section, one memory area each (prog.ca65.cfg)
    label_colon = True

    def head(self, p):
        return ['        .setcpu "6502"']

    def begin(self, s, phys):
        return [f'        .segment "{segment(s)}"' + (': zeropage' if s.addr < 0x100 else '')]

    def ds(self, n):
        return f'.res {n}, 0'


def segment(s):
    return 'S_' + s.name.upper()


def ld65_config(p):
    mem = [f'    M{i}: start = ${s.addr:X}, size = ${s.size:X}, file = %O;' for i, s in enumerate(p.sections)]
    seg = [f'    {segment(s)}: load = M{i}, type = rw;' for i, s in enumerate(p.sections)]
    return 'MEMORY {\n' + '\n'.join(mem) + '\n}\nSEGMENTS {\n' + '\n'.join(seg) + '\n}\n'


DIALECTS = {'xexasm': ('prog.asm', Xexasm), '64tass': ('prog.64tass.s', Tass64),
            'dasm': ('prog.dasm.s', Dasm), 'acme': ('prog.acme.s', Acme),
            'xa': ('prog.xa.s', Xa), 'ca65': ('prog.ca65.s', Ca65)}


def parse_size(text):
    t = text.strip()
    mult = {'k': 1000, 'K': 1000, 'M': 1000000}.get(t[-1:], 1)
    return int(t[:-1] if mult > 1 else t) * mult


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n\n')[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('--lines', required=True, help='source lines: 10000, 10k, 1M...')
    ap.add_argument('--out', required=True, help='folder to write into (created)')
    ap.add_argument('--seed', type=int, default=6502)
    args = ap.parse_args()
    lines = parse_size(args.lines)
    if lines < 3000:
        sys.exit('gen_program.py: at least 3000 lines')

    p = generate(lines, args.seed)
    encode(p)
    os.makedirs(args.out, exist_ok=True)

    def write(name, content):
        mode = 'wb' if isinstance(content, bytes) else 'w'
        with open(os.path.join(args.out, name), mode) as f:
            f.write(content)

    counts = {}
    for key, (fname, cls) in DIALECTS.items():
        text = cls().render(p)
        counts[key] = text.count('\n')
        write(fname, text)
    write('prog.ca65.cfg', ld65_config(p))
    write('expected.xex', expected_xex(p))
    write('expected.bin', b''.join(s.data for s in p.sections))
    write('expected.acme.bin', expected_memory(p))
    manifest = {
        'lines': counts['xexasm'], 'lines_per_dialect': counts, 'seed': args.seed,
        'statements': p.statements, 'labels': len(p.labels), 'sections': len(p.sections),
        'bytes': sum(s.size for s in p.sections),
    }
    write('manifest.json', json.dumps(manifest, indent=1) + '\n')


if __name__ == '__main__':
    main()
