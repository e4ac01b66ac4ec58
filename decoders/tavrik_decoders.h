/*
 * tavrik_decoders.h: decoders of the compressed tables that tavrik-batch writes with
 * --compress rle and --compress lz4. C99, standard library only; include it where needed
 * (every function is static inline).
 *
 * Both streams begin with the decoded length in bytes, 4 bytes big-endian:
 *   rle: then control words, big-endian: $0000..$7FFF = a literal stretch of (word + 1) words
 *        that follow; $8000..$FFFF = a run, the word that follows written ((word & $7FFF) + 1)
 *        times; until the decoded length's whole words are out; an odd length ends with its
 *        last byte.
 *   lz4: then one LZ4 block in the standard block format.
 *
 * Every length is checked before anything is read or written: a decoder never reads past
 * stream + stream_size nor writes past dst + capacity, and it reports what is wrong instead.
 * The whole stream must be used: bytes left after the data are an error too.
 */
#ifndef TAVRIK_DECODERS_H
#define TAVRIK_DECODERS_H

#include <stddef.h>
#include <stdint.h>

enum {
  TAVRIK_DECODE_OK = 0,
  TAVRIK_DECODE_TRUNCATED = 1, /* the stream ends before the data does */
  TAVRIK_DECODE_CAPACITY = 2,  /* the decoded length is more than the destination holds */
  TAVRIK_DECODE_OVERRUN = 3,   /* a stretch, run or match goes past the decoded length */
  TAVRIK_DECODE_OFFSET = 4,    /* an lz4 match starts before the data (or at offset 0) */
  TAVRIK_DECODE_TRAILING = 5   /* bytes are left in the stream after the data */
};

/* The decoded length of a stream of either kind, into *length. */
static inline int tavrik_decoded_length(const uint8_t *stream, size_t stream_size,
                                        uint32_t *length) {
  if (stream_size < 4) return TAVRIK_DECODE_TRUNCATED;
  *length = (uint32_t)stream[0] << 24 | (uint32_t)stream[1] << 16 | (uint32_t)stream[2] << 8 |
            (uint32_t)stream[3];
  return TAVRIK_DECODE_OK;
}

/* Decodes the rle stream of stream_size bytes into dst, which holds capacity bytes. On success
 * *decoded (when not NULL) is the decoded length. */
static inline int tavrik_rle_decode(const uint8_t *stream, size_t stream_size, uint8_t *dst,
                                    size_t capacity, size_t *decoded) {
  uint32_t length;
  size_t in = 4, out = 0, words_end, count, i;
  int status = tavrik_decoded_length(stream, stream_size, &length);
  if (status != TAVRIK_DECODE_OK) return status;
  if (length > capacity) return TAVRIK_DECODE_CAPACITY;
  words_end = (size_t)length & ~(size_t)1;
  while (out < words_end) {
    unsigned control;
    if (stream_size - in < 2) return TAVRIK_DECODE_TRUNCATED;
    control = (unsigned)stream[in] << 8 | stream[in + 1];
    in += 2;
    count = ((size_t)(control & 0x7FFFu) + 1) * 2; /* bytes */
    if (count > words_end - out) return TAVRIK_DECODE_OVERRUN;
    if (control & 0x8000u) {
      if (stream_size - in < 2) return TAVRIK_DECODE_TRUNCATED;
      for (i = 0; i < count; i += 2) {
        dst[out + i] = stream[in];
        dst[out + i + 1] = stream[in + 1];
      }
      in += 2;
    } else {
      if (stream_size - in < count) return TAVRIK_DECODE_TRUNCATED;
      for (i = 0; i < count; ++i) dst[out + i] = stream[in + i];
      in += count;
    }
    out += count;
  }
  if (length & 1) {
    if (in == stream_size) return TAVRIK_DECODE_TRUNCATED;
    dst[out++] = stream[in++];
  }
  if (in != stream_size) return TAVRIK_DECODE_TRAILING;
  if (decoded) *decoded = out;
  return TAVRIK_DECODE_OK;
}

/* An lz4 length: `base`, and when it is 15, the bytes that follow added up to the first that is
 * not 255. */
static inline int tavrik_lz4_length_(const uint8_t *stream, size_t stream_size, size_t *in,
                                     size_t base, size_t limit, size_t *length) {
  *length = base;
  if (base == 15) {
    uint8_t byte;
    do {
      if (*in == stream_size) return TAVRIK_DECODE_TRUNCATED;
      byte = stream[(*in)++];
      *length += byte;
      /* No length may pass what is left of the output: stop before size_t could wrap. */
      if (*length > limit) return TAVRIK_DECODE_OVERRUN;
    } while (byte == 255);
  }
  return *length > limit ? TAVRIK_DECODE_OVERRUN : TAVRIK_DECODE_OK;
}

/* Decodes the lz4 stream of stream_size bytes into dst, which holds capacity bytes. On success
 * *decoded (when not NULL) is the decoded length. The data ends after a sequence's literals or
 * its match, wherever it reaches the decoded length. */
static inline int tavrik_lz4_decode(const uint8_t *stream, size_t stream_size, uint8_t *dst,
                                    size_t capacity, size_t *decoded) {
  uint32_t length;
  size_t in = 4, out = 0, count, offset, i;
  int status = tavrik_decoded_length(stream, stream_size, &length);
  if (status != TAVRIK_DECODE_OK) return status;
  if (length > capacity) return TAVRIK_DECODE_CAPACITY;
  for (;;) {
    unsigned token;
    if (in == stream_size) return TAVRIK_DECODE_TRUNCATED;
    token = stream[in++];
    status = tavrik_lz4_length_(stream, stream_size, &in, token >> 4, length - out, &count);
    if (status != TAVRIK_DECODE_OK) return status;
    if (stream_size - in < count) return TAVRIK_DECODE_TRUNCATED;
    for (i = 0; i < count; ++i) dst[out + i] = stream[in + i];
    in += count;
    out += count;
    if (out == length) break;
    if (stream_size - in < 2) return TAVRIK_DECODE_TRUNCATED;
    offset = (size_t)stream[in] | (size_t)stream[in + 1] << 8;
    in += 2;
    if (offset == 0 || offset > out) return TAVRIK_DECODE_OFFSET;
    /* A match is 4 bytes or more. */
    if (length - out < 4) return TAVRIK_DECODE_OVERRUN;
    status = tavrik_lz4_length_(stream, stream_size, &in, token & 15, length - out - 4, &count);
    if (status != TAVRIK_DECODE_OK) return status;
    count += 4;
    /* Byte by byte: a match may overlap the bytes it writes. */
    for (i = 0; i < count; ++i) dst[out + i] = dst[out + i - offset];
    out += count;
    if (out == length) break;
  }
  if (in != stream_size) return TAVRIK_DECODE_TRAILING;
  if (decoded) *decoded = out;
  return TAVRIK_DECODE_OK;
}

#endif
