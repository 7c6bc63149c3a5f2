/* Decodes a type-6 telegram and prints its fields and the receiver's
 * report of it. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <tgr/tgr.h>

int main(void) {
  /* A block of four values: a 20-byte header, then 16-bit little-endian
   * values. TotalSize 28, type 6, BlockNo 0, ScanNo 7. */
  const unsigned char bytes[28] = {28, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 6, 0, 0, 0, 7, 0, 0, 0,
                                   1, 0, 2, 0, 0x10, 0x27, 0xff, 0xff};
  tgr_telegram t = {.struct_size = sizeof(tgr_telegram)};
  char* text;
  size_t length = 0;
  int result = tgr_decode(bytes, sizeof bytes, &t);
  if (result != TGR_OK) {
    fprintf(stderr, "report_telegram: %s\n", tgr_strerror(result));
    return 1;
  }
  /* A library older than these headers may lack what they declare. */
  if (tgr_version_number() < TGR_VERSION_NUMBER) {
    fprintf(stderr, "report_telegram: built for tgr %s, running with %s\n", TGR_VERSION_STRING, tgr_version());
    return 1;
  }
  printf("tgr %s: type %u, scan %lu, block %u, %lu values\n", tgr_version(), (unsigned)t.type,
         (unsigned long)t.scan_no, (unsigned)t.block_no, (unsigned long)t.value_count);

  /* Ask the size first, then take the report. Standard output is a text
   * stream, which on Windows writes each "\n" as "\r\n" itself, as the
   * receiver's does: so the report's lines go to it as written. */
  tgr_report(bytes, sizeof bytes, TGR_LINE_ENDS_AS_WRITTEN, NULL, 0, &length);
  text = malloc(length);
  if (text == NULL) return 1;
  result = tgr_report(bytes, sizeof bytes, TGR_LINE_ENDS_AS_WRITTEN, text, length, &length);
  if (result != TGR_OK) {
    fprintf(stderr, "report_telegram: %s\n", tgr_strerror(result));
    free(text);
    return 1;
  }
  fwrite(text, 1, length, stdout);
  putchar('\n');
  free(text);
  return 0;
}
