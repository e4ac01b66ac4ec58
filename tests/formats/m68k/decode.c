/* Runs the 68000 decoders, for the decoder tests. Arguments, in threes: KIND SOURCE OUT, KIND
 * "rle" or "lz4", SOURCE a stream file, or "=NAME" for a stream linked into the program (listed
 * in tavrik_linked_streams). Writes each decoded table to OUT; reports on standard error and
 * exits 1 when a decoder changed a register it keeps, did not end a1 past the data or a0 past
 * the stream, or wrote outside the data, or when a linked stream is at an odd address or does
 * not begin with its decoded size. lz4 streams from files and lz4 data sit at odd addresses. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

extern void tavrik_rle_decode(void);
extern void tavrik_lz4_decode(void);
extern void tavrik_test_call(void);

unsigned long tavrik_test_before[15], tavrik_test_after[15]; /* d0-d7, a0-a6 */

struct LinkedStream {
  const char *name;
  const unsigned char *stream;
  unsigned long size, decoded; /* the table's constants _SIZE and _DECODED_SIZE */
};
/* Defined by the tests of linked tables; absent otherwise. */
extern const struct LinkedStream tavrik_linked_streams[] __attribute__((weak));

enum { kGuard = 16 };

static unsigned char *readFile(const char *path, unsigned long *size) {
  FILE *file = fopen(path, "rb");
  unsigned char *bytes;
  long n;
  if (!file || fseek(file, 0, SEEK_END) || (n = ftell(file)) < 0 || fseek(file, 0, SEEK_SET)) exit(2);
  bytes = malloc((unsigned long)n + 2);
  if (!bytes || fread(bytes + 1, 1, (unsigned long)n, file) != (unsigned long)n) exit(2);
  fclose(file);
  *size = (unsigned long)n;
  return bytes;
}

static int decode(const char *kind, const unsigned char *stream, unsigned long size, const char *out) {
  const int lz4 = strcmp(kind, "lz4") == 0;
  const unsigned long length = (unsigned long)stream[0] << 24 | (unsigned long)stream[1] << 16 |
                               (unsigned long)stream[2] << 8 | stream[3];
  unsigned char *buffer = malloc(length + 2 * kGuard + 2), *data = buffer + kGuard + lz4;
  unsigned long i;
  int failed = 0;
  FILE *file;
  if (!buffer) exit(2);
  memset(buffer, 0xA5, length + 2 * kGuard + 2);
  for (i = 0; i < 15; ++i) tavrik_test_before[i] = 0x01010101ul * (i + 1);
  tavrik_test_before[8] = (unsigned long)stream;
  tavrik_test_before[9] = (unsigned long)data;
  tavrik_test_before[14] = (unsigned long)(lz4 ? tavrik_lz4_decode : tavrik_rle_decode);
  tavrik_test_call();
  for (i = 2; i < 15; ++i)
    if (i != 8 && i != 9 && tavrik_test_after[i] != tavrik_test_before[i]) {
      fprintf(stderr, "%s: register %c%lu changed\n", out, i < 8 ? 'd' : 'a', i % 8);
      failed = 1;
    }
  if (tavrik_test_after[9] != (unsigned long)(data + length)) {
    fprintf(stderr, "%s: a1 ends %ld bytes off\n", out, (long)(tavrik_test_after[9] - (unsigned long)(data + length)));
    failed = 1;
  }
  if (tavrik_test_after[8] != (unsigned long)(stream + size)) {
    fprintf(stderr, "%s: a0 ends %ld bytes off\n", out, (long)(tavrik_test_after[8] - (unsigned long)(stream + size)));
    failed = 1;
  }
  for (i = 0; i < kGuard; ++i)
    if (data[-1 - (long)i] != 0xA5 || data[length + i] != 0xA5) {
      fprintf(stderr, "%s: written outside the data\n", out);
      failed = 1;
      break;
    }
  file = fopen(out, "wb");
  if (!file || fwrite(data, 1, length, file) != length || fclose(file)) exit(2);
  free(buffer);
  return failed;
}

int main(int argc, char **argv) {
  int i, failed = 0;
  for (i = 1; i + 2 < argc; i += 3) {
    if (argv[i + 1][0] == '=') {
      const struct LinkedStream *s = tavrik_linked_streams;
      while (s && s->name && strcmp(s->name, argv[i + 1] + 1) != 0) ++s;
      if (!s || !s->name) {
        fprintf(stderr, "no stream %s\n", argv[i + 1]);
        return 2;
      }
      if ((unsigned long)s->stream % 2 != 0 || ((unsigned long)s->stream[0] << 24 | (unsigned long)s->stream[1] << 16 |
                                                (unsigned long)s->stream[2] << 8 | s->stream[3]) != s->decoded) {
        fprintf(stderr, "%s: at an odd address, or its length is not its _DECODED_SIZE\n", s->name);
        failed = 1;
      }
      failed |= decode(argv[i], s->stream, s->size, argv[i + 2]);
    } else {
      unsigned long size;
      unsigned char *bytes = readFile(argv[i + 1], &size);
      /* rle streams at an even address, lz4 streams at an odd one */
      const unsigned char *stream = bytes + (strcmp(argv[i], "lz4") == 0);
      if (strcmp(argv[i], "lz4") != 0) memmove(bytes, bytes + 1, size);
      failed |= decode(argv[i], stream, size, argv[i + 2]);
      free(bytes);
    }
  }
  return failed;
}
