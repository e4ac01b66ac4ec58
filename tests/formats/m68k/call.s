* Calls a decoder as a 68000 program would, for the decoder tests: every register is loaded
* from tavrik_test_before (d0-d7, a0-a6: a0 the stream, a1 the destination, a6 the decoder),
* and all of them are stored into tavrik_test_after on return, for the caller to check what the
* decoder changed.

	xdef	tavrik_test_call
	xref	tavrik_test_before,tavrik_test_after

	section	.text

tavrik_test_call:
	movem.l	d2-d7/a2-a6,-(sp)
	movem.l	tavrik_test_before,d0-d7/a0-a6
	jsr	(a6)
	movem.l	d0-d7/a0-a6,tavrik_test_after
	movem.l	(sp)+,d2-d7/a2-a6
	rts
