// send-datagrams PORT FILE...: sends each file's bytes as one UDP datagram
// to 127.0.0.1:PORT, a millisecond apart, so that a capture on the loopback
// keeps up. For the tests that capture hand-made telegrams, such as the
// fuzzer's seeds.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "net/udp_target.h"
#include "tests/file_test_util.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    fputs("usage: send-datagrams PORT FILE...\n", stderr);
    return 2;
  }
  const long port = strtol(argv[1], nullptr, 10);
  UdpTarget target;
  std::string why;
  if (port < 1 || port > 65535 || !target.Open("127.0.0.1", static_cast<uint16_t>(port), &why)) {
    fprintf(stderr, "send-datagrams: %s\n", port < 1 || port > 65535 ? "bad port" : why.c_str());
    return 1;
  }
  int status = 0;
  for (int i = 2; i < argc && status == 0; ++i) {
    const std::string bytes = ReadWholeFile(argv[i]);
    if (!target.Send(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &why)) {
      fprintf(stderr, "send-datagrams: cannot send %s: %s\n", argv[i], why.c_str());
      status = 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return status;
}
