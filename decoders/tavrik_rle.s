* tavrik_rle.s: the decoder of the rle tables of tavrik-batch (--compress rle), for the 68000.
* Motorola syntax (GNU as: m68k-linux-gnu-as --mri; vasm -Fvobj -devpac).
*
* tavrik_rle_decode
*   entry:   a0 = the stream, at its 4-byte length (an even address)
*            a1 = where the data goes (an even address), room for the decoded length
*   return:  a1 = past the last byte written, a0 = past the stream
*   changes: d0, d1, a0, a1 and the flags; every other register is kept.
*
* The stream: the decoded length in bytes (a long), then control words: $0000..$7FFF, a literal
* stretch of (word + 1) words that follow; $8000..$FFFF, one word that follows written
* ((word & $7FFF) + 1) times; until the length's whole words are out. An odd length ends with
* its last byte. Words go as longs two at a time. The stream is trusted: tavrik-batch made it.

	xdef	tavrik_rle_decode

	section	.text

tavrik_rle_decode:
	movem.l	d2/a2,-(sp)
	move.l	(a0)+,d2		; decoded length in bytes
	moveq	#-2,d0
	and.l	d2,d0			; its whole words
	lea	(a1,d0.l),a2		; where they end
	bra.s	rle_next

rle_literal:				; d0 = words - 1
	lsr.w	#1,d0			; d0 = longs to copy after the first, C = even count
	bcs.s	rle_literal_long
	move.w	(a0)+,(a1)+		; odd count: one word first
	bra.s	rle_literal_more
rle_literal_long:
	move.l	(a0)+,(a1)+
rle_literal_more:
	dbra	d0,rle_literal_long

rle_next:
	cmpa.l	a2,a1
	bcc.s	rle_tail		; the whole words are out
	move.w	(a0)+,d0		; control word
	bpl.s	rle_literal
	move.w	(a0),d1			; a run: its word in both halves of d1
	swap	d1
	move.w	(a0)+,d1
	add.w	d0,d0			; drop the run bit
	lsr.w	#2,d0			; d0 = longs after the first, C = even count
	bcs.s	rle_run_long
	move.w	d1,(a1)+		; odd count: one word first
	bra.s	rle_run_more
rle_run_long:
	move.l	d1,(a1)+
rle_run_more:
	dbra	d0,rle_run_long
	bra.s	rle_next

rle_tail:
	btst	#0,d2
	beq.s	rle_done
	move.b	(a0)+,(a1)+		; odd length: the last byte
rle_done:
	movem.l	(sp)+,d2/a2
	rts
