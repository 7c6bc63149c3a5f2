/* Reads a capture (pcap or pcapng) and prints the scan and block number of
 * each block bound for UDP port 9999 (or the one given), then how the
 * capture ended. */
#include <stdio.h>
#include <stdlib.h>

#include <tgr/tgr.h>

int main(int argc, char** argv) {
  tgr_capture* capture = NULL;
  /* Each struct the library fills says its size, so that a newer library
   * fills no more than this program knows of. */
  tgr_capture_summary summary = {.struct_size = sizeof(tgr_capture_summary)};
  tgr_datagram d = {.struct_size = sizeof(tgr_datagram)};
  char error[256];
  const void* bytes;
  if (argc < 2) {
    fprintf(stderr, "usage: read_capture FILE [PORT]\n");
    return 2;
  }
  if (tgr_capture_open(argv[1], (uint16_t)(argc > 2 ? strtoul(argv[2], NULL, 10) : 9999u), &capture, error,
                       sizeof error) != TGR_OK) {
    fprintf(stderr, "read_capture: %s\n", error);
    return 1;
  }
  while (tgr_capture_next(capture, &bytes, &d) == TGR_OK) {
    tgr_telegram t = {.struct_size = sizeof(tgr_telegram)};
    tgr_decode(bytes, d.size, &t);
    if (t.type == TGR_TYPE_BLOCK_VALUES) {
      printf("scan %lu block %u: %lu values\n", (unsigned long)t.scan_no, (unsigned)t.block_no,
             (unsigned long)t.value_count);
    }
  }
  tgr_capture_summary_get(capture, &summary);
  printf("%llu telegrams, %s\n", (unsigned long long)summary.taken,
         summary.end == TGR_CAPTURE_WHOLE ? "the capture is whole" : tgr_capture_error(capture));
  tgr_capture_close(capture, NULL, 0);
  return summary.end == TGR_CAPTURE_DAMAGED ? 1 : 0;
}
