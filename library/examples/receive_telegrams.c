/* Receives ten telegrams on a UDP port (9999, or the one given) and prints
 * the scan and block number of each block, the type of the others. */
#include <stdio.h>
#include <stdlib.h>

#include <tgr/tgr.h>

int main(int argc, char** argv) {
  static unsigned char buffer[TGR_MAX_TELEGRAM_SIZE];
  const unsigned port = argc > 1 ? (unsigned)strtoul(argv[1], NULL, 10) : 9999u;
  char error[256];
  tgr_receiver* receiver = NULL;
  int i;
  if (tgr_receiver_open(NULL, (uint16_t)port, 0, &receiver, error, sizeof error) != TGR_OK) {
    fprintf(stderr, "receive_telegrams: %s\n", error);
    return 1;
  }
  fprintf(stderr, "receive_telegrams: listening on UDP port %u\n", (unsigned)tgr_receiver_port(receiver));
  for (i = 0; i < 10; ++i) {
    tgr_datagram d = {.struct_size = sizeof(tgr_datagram)};
    tgr_telegram t = {.struct_size = sizeof(tgr_telegram)};
    /* Up to 10 s for each. */
    const int result = tgr_receiver_next(receiver, 10000, buffer, sizeof buffer, &d);
    if (result != TGR_OK) {
      fprintf(stderr, "receive_telegrams: %s\n",
              result == TGR_E_SOCKET ? tgr_receiver_error(receiver) : tgr_strerror(result));
      tgr_receiver_close(receiver, NULL, 0);
      return 1;
    }
    tgr_decode(buffer, d.size, &t);
    if (t.type == TGR_TYPE_BLOCK_VALUES) {
      printf("scan %lu block %u: %lu values\n", (unsigned long)t.scan_no, (unsigned)t.block_no,
             (unsigned long)t.value_count);
    } else {
      printf("type %u\n", (unsigned)t.type);
    }
  }
  tgr_receiver_close(receiver, NULL, 0);
  return 0;
}
