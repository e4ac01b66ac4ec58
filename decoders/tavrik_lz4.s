* tavrik_lz4.s: the decoder of the lz4 tables of tavrik-batch (--compress lz4), for the 68000.
* Motorola syntax (GNU as: m68k-linux-gnu-as --mri; vasm -Fvobj -devpac).
*
* tavrik_lz4_decode
*   entry:   a0 = the stream, at its 4-byte length (any address)
*            a1 = where the data goes (any address), room for the decoded length
*   return:  a1 = past the last byte written, a0 = past the stream
*   changes: d0, d1, a0, a1 and the flags; every other register is kept.
*
* The stream: the decoded length in bytes (a long, big-endian), then one LZ4 block: sequences of
* a token (high nibble: literal count, low nibble: match length - 4; 15 = more length bytes
* follow, added up to the first that is not 255), the literals, a 2-byte little-endian match
* offset back from the output, the more bytes of the match length. The data ends after the
* literals that reach the decoded length. Every access is a byte: no address needs to be even.
* Copies go eight bytes a loop, entered part-way for the count modulo 8.
* The stream is trusted: tavrik-batch made it.

	xdef	tavrik_lz4_decode

	section	.text

tavrik_lz4_decode:
	movem.l	d2-d3/a2-a3,-(sp)
	move.b	(a0)+,d0		; decoded length, byte by byte
	lsl.w	#8,d0
	move.b	(a0)+,d0
	swap	d0
	move.b	(a0)+,d0
	lsl.w	#8,d0
	move.b	(a0)+,d0
	lea	(a1,d0.l),a2		; where the data ends

lz4_sequence:
	moveq	#0,d1
	move.b	(a0)+,d1		; token
	move.l	d1,d0
	lsr.w	#4,d0			; literal count
	beq.s	lz4_literals_done
	cmpi.w	#15,d0
	bne.s	lz4_literals
	bsr.s	lz4_more
lz4_literals:
	moveq	#7,d2
	and.w	d0,d2			; count mod 8 first,
	lsr.l	#3,d0			; then 8 at a time
	neg.w	d2
	add.w	d2,d2			; 2 bytes a move.b
	jmp	lz4_literal_end(pc,d2.w)
lz4_literal_copy:
	move.b	(a0)+,(a1)+
	move.b	(a0)+,(a1)+
	move.b	(a0)+,(a1)+
	move.b	(a0)+,(a1)+
	move.b	(a0)+,(a1)+
	move.b	(a0)+,(a1)+
	move.b	(a0)+,(a1)+
	move.b	(a0)+,(a1)+
lz4_literal_end:
	subq.l	#1,d0
	bcc.s	lz4_literal_copy
lz4_literals_done:
	cmpa.l	a2,a1
	bcc.s	lz4_done		; the data is complete

	moveq	#0,d2			; match offset, little-endian
	move.b	1(a0),d2
	lsl.w	#8,d2
	move.b	(a0),d2
	addq.l	#2,a0
	movea.l	a1,a3
	suba.l	d2,a3			; where the match starts
	moveq	#15,d0
	and.w	d1,d0			; match length - 4
	cmpi.w	#15,d0
	bne.s	lz4_match
	bsr.s	lz4_more
lz4_match:
	addq.l	#4,d0			; match length
	moveq	#7,d2
	and.w	d0,d2
	lsr.l	#3,d0
	neg.w	d2
	add.w	d2,d2
	jmp	lz4_match_end(pc,d2.w)
lz4_match_copy:				; byte by byte: a match may overlap what it writes
	move.b	(a3)+,(a1)+
	move.b	(a3)+,(a1)+
	move.b	(a3)+,(a1)+
	move.b	(a3)+,(a1)+
	move.b	(a3)+,(a1)+
	move.b	(a3)+,(a1)+
	move.b	(a3)+,(a1)+
	move.b	(a3)+,(a1)+
lz4_match_end:
	subq.l	#1,d0
	bcc.s	lz4_match_copy
	bra.s	lz4_sequence

lz4_done:
	movem.l	(sp)+,d2-d3/a2-a3
	rts

* Adds to d0 the length bytes at a0, up to the first that is not 255.
lz4_more:
	moveq	#0,d3
lz4_more_byte:
	move.b	(a0)+,d3
	add.l	d3,d0
	not.b	d3			; zero for 255
	beq.s	lz4_more_byte
	rts
