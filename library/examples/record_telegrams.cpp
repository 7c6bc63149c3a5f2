// Records the telegrams that arrive on a UDP port (9999, or the one given)
// into a pcapng file, until ten have come.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <tgr/tgr.hpp>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: record_telegrams FILE [PORT]\n");
    return 2;
  }
  const uint16_t port = static_cast<uint16_t>(argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 9999);
  tgr::Receiver receiver;
  tgr::Recorder recorder;
  std::string error;
  if (receiver.Open("", port, &error) != TGR_OK || recorder.Open(argv[1], &error) != TGR_OK) {
    std::fprintf(stderr, "record_telegrams: %s\n", error.c_str());
    return 1;
  }
  std::fprintf(stderr, "record_telegrams: listening on UDP port %u\n", static_cast<unsigned>(receiver.port()));
  std::vector<unsigned char> bytes;
  for (int i = 0; i < 10; ++i) {
    tgr::Datagram d;
    if (receiver.Next(10000, &bytes, &d) != TGR_OK ||
        recorder.Write(d, bytes.data(), bytes.size(), 0x7F000001, receiver.port()) != TGR_OK) {
      std::fprintf(stderr, "record_telegrams: %s\n", recorder.error());
      return 1;
    }
  }
  if (recorder.Close(&error) != TGR_OK) {
    std::fprintf(stderr, "record_telegrams: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
