#include "capture/pcapng_writer.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "capture/pcapng_format.h"
#include "capture/udp_datagrams.h"

namespace {

const size_t kIpv4Header = 20;
const size_t kUdpHeader = 8;
const uint8_t kUdpProtocol = 17;

void Put16(std::vector<unsigned char>* out, uint32_t value) {
  out->push_back(static_cast<unsigned char>(value & 0xFF));
  out->push_back(static_cast<unsigned char>(value >> 8 & 0xFF));
}

void Put32(std::vector<unsigned char>* out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// Network byte order, for the IPv4 and UDP headers.
void PutBig16(unsigned char* at, uint32_t value) {
  at[0] = static_cast<unsigned char>(value >> 8 & 0xFF);
  at[1] = static_cast<unsigned char>(value & 0xFF);
}

void PutBig32(unsigned char* at, uint32_t value) {
  PutBig16(at, value >> 16);
  PutBig16(at + 2, value & 0xFFFF);
}

void PadTo4(std::vector<unsigned char>* out) {
  while (out->size() % 4 != 0) out->push_back(0);
}

// A block's type and a place for its length, filled in by EndBlock.
void BeginBlock(std::vector<unsigned char>* out, uint32_t type) {
  out->clear();
  Put32(out, type);
  Put32(out, 0);
}

void EndBlock(std::vector<unsigned char>* out) {
  const uint32_t length = static_cast<uint32_t>(out->size() + kBlockTrailer);
  Put32(out, length);
  for (int i = 0; i < 4; ++i) (*out)[4 + i] = static_cast<unsigned char>(length >> (8 * i) & 0xFF);
}

void PutOption(std::vector<unsigned char>* out, uint16_t code, const void* value, size_t length) {
  Put16(out, code);
  Put16(out, static_cast<uint32_t>(length));
  const unsigned char* bytes = static_cast<const unsigned char*>(value);
  out->insert(out->end(), bytes, bytes + length);
  PadTo4(out);
}

uint16_t Ipv4Checksum(const unsigned char* header) {
  uint32_t sum = 0;
  for (size_t i = 0; i < kIpv4Header; i += 2) sum += static_cast<uint32_t>(header[i] << 8 | header[i + 1]);
  while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum & 0xFFFF);
}

}  // namespace

PcapngWriter::~PcapngWriter() {
  if (file_ != nullptr) fclose(file_);
}

bool PcapngWriter::Failed(const std::string& doing, int error, std::string* err) {
  failed_ = true;
  os_error_ = error;
  *err = doing + " " + path_ + ": " + strerror(error);
  return false;
}

void PcapngWriter::CutBack() {
  fclose(file_);
  file_ = nullptr;
  // Only a file of its own is cut or removed: never a device such as
  // /dev/full, or a pipe.
  std::error_code error;
  if (!std::filesystem::is_regular_file(path_, error)) return;
  if (packets_ == 0 && bytes_ < headers_bytes_) {
    // Its headers never reached it whole: it was never a recording.
    std::filesystem::remove(path_, error);
  } else {
    std::filesystem::resize_file(path_, bytes_, error);
  }
}

bool PcapngWriter::PutBlock(std::string* err) {
  errno = 0;
  if (fwrite(block_.data(), 1, block_.size(), file_) != block_.size() || fflush(file_) != 0) {
    const int error = errno != 0 ? errno : EIO;
    // What of the block reached the file is cut back off, so that the file
    // ends after its last whole block and every tool reads it whole.
    CutBack();
    return Failed("cannot write to", error, err);
  }
  bytes_ += block_.size();
  return true;
}

bool PcapngWriter::Open(const std::string& path, const std::string& application, std::string* err) {
  path_ = path;
  errno = 0;
  file_ = fopen(path.c_str(), "wb");
  if (file_ == nullptr) return Failed("cannot create", errno != 0 ? errno : EIO, err);
  // Each block is flushed as it is written: no buffer of the stream's own.
  setvbuf(file_, nullptr, _IONBF, 0);

  // Until both header blocks are whole in it, the file is no recording.
  headers_bytes_ = ~uint64_t{0};
  BeginBlock(&block_, kSectionHeader);
  Put32(&block_, kByteOrderMagic);
  Put16(&block_, 1);  // version 1.0
  Put16(&block_, 0);
  Put32(&block_, 0xFFFFFFFF);  // the section's length is not known
  Put32(&block_, 0xFFFFFFFF);
  PutOption(&block_, kSectionUserApplication, application.data(), application.size());
  PutOption(&block_, kEndOfOptions, nullptr, 0);
  EndBlock(&block_);
  if (!PutBlock(err)) return false;

  BeginBlock(&block_, kInterfaceDescription);
  Put16(&block_, kLinkIpv4);
  Put16(&block_, 0);
  Put32(&block_, 0);  // no snap length: every byte is kept
  const unsigned char nanoseconds = 9;
  PutOption(&block_, kTimestampResolution, &nanoseconds, 1);
  PutOption(&block_, kEndOfOptions, nullptr, 0);
  EndBlock(&block_);
  headers_bytes_ = bytes_ + block_.size();
  return PutBlock(err);
}

bool PcapngWriter::Write(int64_t time_ns, const UdpEnds& ends, const unsigned char* payload, size_t size,
                         std::string* err) {
  if (file_ == nullptr || failed_) {
    *err = "the recording " + path_ + " is not open for writing";
    return false;
  }
  if (size > kMostRecordedPayload) {
    *err = "a datagram of " + std::to_string(size) + " bytes: UDP over IPv4 carries " +
           std::to_string(kMostRecordedPayload) + " at most";
    return false;
  }
  if (time_ns < 0) {
    *err = "a datagram received before 1970 cannot be recorded";
    return false;
  }
  const size_t packet = kIpv4Header + kUdpHeader + size;
  const uint64_t time = static_cast<uint64_t>(time_ns);
  BeginBlock(&block_, kEnhancedPacket);
  Put32(&block_, 0);  // the one interface
  Put32(&block_, static_cast<uint32_t>(time >> 32));
  Put32(&block_, static_cast<uint32_t>(time & 0xFFFFFFFF));
  Put32(&block_, static_cast<uint32_t>(packet));  // captured
  Put32(&block_, static_cast<uint32_t>(packet));  // on the wire
  const size_t ip = block_.size();
  block_.resize(ip + kIpv4Header + kUdpHeader, 0);
  unsigned char* h = block_.data() + ip;
  h[0] = 0x45;  // version 4, 20 bytes of header
  PutBig16(h + 2, static_cast<uint32_t>(packet));
  PutBig16(h + 4, ip_id_++);
  h[8] = 64;  // time to live
  h[9] = kUdpProtocol;
  PutBig32(h + 12, ends.source_address);
  PutBig32(h + 16, ends.destination_address);
  PutBig16(h + 10, Ipv4Checksum(h));
  unsigned char* u = h + kIpv4Header;
  PutBig16(u, ends.source_port);
  PutBig16(u + 2, ends.destination_port);
  PutBig16(u + 4, static_cast<uint32_t>(kUdpHeader + size));
  // The UDP checksum is left 0, "none", as IPv4 allows.
  if (size > 0) block_.insert(block_.end(), payload, payload + size);
  PadTo4(&block_);
  EndBlock(&block_);
  if (!PutBlock(err)) return false;
  ++packets_;
  return true;
}

bool PcapngWriter::Close(std::string* err) {
  if (failed_) {
    if (file_ != nullptr) fclose(file_);
    file_ = nullptr;
    *err = "the recording " + path_ + " stopped at a failed write";
    return false;
  }
  if (file_ == nullptr) return true;
  const int closed = fclose(file_);
  file_ = nullptr;
  if (closed != 0) return Failed("cannot write to", errno != 0 ? errno : EIO, err);
  return true;
}
