#!/usr/bin/env python3
"""Counts the 68000 cycles that decoders/tavrik_rle.s and decoders/tavrik_lz4.s take on streams.

    bench/decoder_cycles.py rle|lz4 STREAM...

Walks each stream as the decoder does and adds up the cycles of the instructions it runs, from
the 68000's instruction timings (no wait states; dbra: 10 taken, 14 when the count runs out;
short branches: 10 taken, 8 not). Prints, per stream, the decoded bytes, the cycles and the
cycles per decoded byte. The costs below follow the decoders' code line by line.
"""
import sys


def rle_cycles(s):
    length = int.from_bytes(s[0:4], "big")
    end = length & ~1
    cycles = 24 + 12 + 4 + 8 + 12 + 10  # movem, move.l, moveq, and.l, lea, bra.s
    pos, out = 4, 0
    while out < end:
        control = int.from_bytes(s[pos:pos + 2], "big")
        pos += 2
        cycles += 6 + 8 + 8  # cmpa.l, bcc.s not taken, move.w (a0)+,d0
        n = (control & 0x7FFF) + 1
        longs = n // 2
        if control & 0x8000:
            cycles += 8 + 8 + 4 + 8 + 4 + 10  # bpl.s not taken, move.w, swap, move.w, add.w, lsr.w #2
            cycles += 8 + 8 + 10 if n % 2 else 10  # odd: bcs.s not taken, move.w d1,(a1)+, bra.s
            cycles += 12 * longs + 10 * (longs - (0 if n % 2 else 1)) + 14 + 10  # body, dbra, bra.s
            pos += 2
        else:
            cycles += 10 + 8  # bpl.s taken, lsr.w #1
            cycles += 8 + 12 + 10 if n % 2 else 10
            cycles += 20 * longs + 10 * (longs - (0 if n % 2 else 1)) + 14
            pos += 2 * n
        out += 2 * n
    cycles += 6 + 10 + 10  # cmpa.l, bcc.s taken, btst
    cycles += 8 + 12 if length & 1 else 10
    return length, cycles + 28 + 16  # movem, rts


def lz4_cycles(s):
    length = int.from_bytes(s[0:4], "big")
    cycles = 40 + 4 * 8 + 2 * 22 + 4 + 12  # movem, 4 move.b, 2 lsl.w #8, swap, lea
    pos, out = 4, 0

    def copy(n):  # moveq, and.w, lsr.l #3, neg.w, add.w, jmp; move.b each; subq.l, bcc.s a loop
        loops = n // 8
        return 4 + 4 + 14 + 4 + 4 + 14 + 12 * n + (8 + 10) * loops + 8 + 8

    def more():  # bsr.s, moveq, per byte move.b, add.l, not.b, beq.s; rts
        nonlocal pos
        total, c = 0, 18 + 4 + 16
        while True:
            b = s[pos]
            pos += 1
            total += b
            c += 8 + 8 + 4 + (10 if b == 255 else 8)
            if b != 255:
                return total, c

    while True:
        token = s[pos]
        pos += 1
        cycles += 4 + 8 + 4 + 14  # moveq, move.b, move.l, lsr.w #4
        n = token >> 4
        if n == 0:
            cycles += 10
        else:
            cycles += 8 + 8  # beq.s not taken, cmpi.w
            if n == 15:
                extra, c = more()
                n += extra
                cycles += 8 + c
            else:
                cycles += 10
            cycles += copy(n)
            pos += n
            out += n
        cycles += 6  # cmpa.l
        if out >= length:
            cycles += 10
            break
        cycles += 8 + 4 + 12 + 22 + 8 + 8 + 4 + 8 + 4 + 4 + 8  # bcc.s .. cmpi.w
        pos += 2
        n = token & 15
        if n == 15:
            extra, c = more()
            n += extra
            cycles += 8 + c
        else:
            cycles += 10
        n += 4
        cycles += 8 + copy(n) + 10  # addq, copy, bra.s
        out += n
    return length, cycles + 44 + 16  # movem, rts


def main():
    count = {"rle": rle_cycles, "lz4": lz4_cycles}[sys.argv[1]]
    for path in sys.argv[2:]:
        with open(path, "rb") as f:
            length, cycles = count(f.read())
        per = cycles / length if length else float("nan")
        print(f"{path}: {length} bytes, {cycles} cycles, {per:.2f} cycles/byte")


if __name__ == "__main__":
    main()
