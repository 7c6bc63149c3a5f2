#include "sender/capture_source.h"

namespace {

bool NextCaptured(void* state, SourceTelegram* next) {
  CaptureSource* source = static_cast<CaptureSource*>(state);
  if (source->next >= source->datagrams.size()) return false;
  const CapturedDatagram& datagram = source->datagrams[source->next++];
  // A packet the capture gives no time goes with the one before it.
  if (datagram.time != kNoTime) {
    if (source->first_time == kNoTime) source->first_time = datagram.time;
    source->last_due = datagram.time - source->first_time;
  }
  *next = SourceTelegram{datagram.payload.data(), datagram.payload.size(), source->last_due};
  return true;
}

}  // namespace

bool OpenCaptureSource(CaptureSource* source, const std::string& path, uint16_t port, std::string* error) {
  source->datagrams.clear();
  source->next = 0;
  source->first_time = kNoTime;
  source->last_due = 0;
  std::vector<unsigned char> file;
  std::string why;
  if (!ReadWholeCaptureFile(path, &file, &why)) {
    *error = "cannot read the capture " + path + ": " + why;
    return false;
  }
  std::vector<CapturedPacket> packets;
  CaptureError damage = {0, ""};
  if (!ReadCapturePackets(file, &packets, &damage)) {
    *error = path + ": " + damage.what + " (at byte " + std::to_string(damage.offset) + ")";
    return false;
  }
  ExtractUdpDatagrams(file, packets, port, &source->datagrams, &source->tally);
  return true;
}

TelegramSource CaptureTelegrams(CaptureSource* source) { return TelegramSource{NextCaptured, source}; }

std::string DescribeSkipped(const CaptureSource& source, const std::string& path) {
  const DatagramTally& tally = source.tally;
  const long skipped = tally.not_udp + tally.other_port + tally.incomplete + tally.cut_short;
  return "from " + path + ", skipped " + std::to_string(skipped) + ": " + std::to_string(tally.not_udp) +
         " not UDP over IPv4, " + std::to_string(tally.other_port) + " bound for another port, " +
         std::to_string(tally.incomplete) + " with IP fragments missing, " + std::to_string(tally.cut_short) +
         " cut short by the capture's snap length";
}
