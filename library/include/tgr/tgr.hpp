// tgr for C++: owning types over the C interface (tgr.h), header-only, so
// that the library's binary interface stays the C one. No exceptions: a
// call that can fail returns a tgr result code, as the C interface does.
#ifndef TGR_TGR_HPP_
#define TGR_TGR_HPP_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tgr/tgr.h"

namespace tgr {

inline const char* Version() { return tgr_version(); }
inline const char* ErrorText(int code) { return tgr_strerror(code); }

// One telegram's fields. Its values point into the bytes decoded: use
// Values() or Value() while those bytes live, or copy them out.
struct Telegram : tgr_telegram {
  // Any bytes decode (a short telegram reads as zeros).
  static Telegram Decode(const void* bytes, size_t size) {
    Telegram t{};
    tgr_decode(bytes, size, &t);
    return t;
  }

  // Value i, for i below value_count.
  uint16_t Value(size_t i) const { return static_cast<uint16_t>(values[2 * i] | values[2 * i + 1] << 8); }

  // Every value, copied.
  std::vector<uint16_t> Values() const {
    std::vector<uint16_t> out(value_count);
    if (!out.empty()) tgr_values(this, 0, out.data(), out.size());
    return out;
  }
};

// The receiver's report of one telegram, byte for byte, into `*text`.
inline int Report(const void* bytes, size_t size, std::string* text, int line_ends = TGR_LINE_ENDS_RECEIVER) {
  if (text == nullptr) return TGR_E_ARGUMENT;
  size_t length = 0;
  // The bound's room always holds the report: one pass, straight into the
  // string.
  const size_t bound = tgr_report_bound(bytes, size);
  text->resize(text->capacity() > bound ? text->capacity() : bound);
  const int result = tgr_report(bytes, size, line_ends, &(*text)[0], text->size(), &length);
  text->resize(result == TGR_OK ? length : 0);
  return result;
}

// The type-6 telegrams' gaps, repeats and reordering, counted (tgr.h says
// what each count claims). Owns its handle.
class Sequence {
 public:
  Sequence() : handle_(tgr_sequence_new()) {}
  ~Sequence() { tgr_sequence_free(handle_); }
  Sequence(const Sequence&) = delete;
  Sequence& operator=(const Sequence&) = delete;
  Sequence(Sequence&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  Sequence& operator=(Sequence&& other) noexcept {
    if (this != &other) {
      tgr_sequence_free(handle_);
      handle_ = other.handle_;
      other.handle_ = nullptr;
    }
    return *this;
  }

  // False if its memory could not be had; then every call says so.
  bool ok() const { return handle_ != nullptr; }

  int Add(const tgr_telegram& telegram) { return handle_ ? tgr_sequence_add(handle_, &telegram) : TGR_E_MEMORY; }

  tgr_sequence_counts Counts() const {
    tgr_sequence_counts counts{};
    if (handle_ != nullptr) tgr_sequence_counts_get(handle_, &counts);
    return counts;
  }

 private:
  tgr_sequence* handle_;
};

// A UDP port receiving telegrams. Owns its handle; closed by its destructor.
class Receiver {
 public:
  Receiver() = default;
  ~Receiver() { tgr_receiver_close(handle_); }
  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;
  Receiver(Receiver&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  Receiver& operator=(Receiver&& other) noexcept {
    if (this != &other) {
      tgr_receiver_close(handle_);
      handle_ = other.handle_;
      other.handle_ = nullptr;
    }
    return *this;
  }

  // Opens `port` on `address` ("": every local IPv4 address); on failure,
  // the words in `*error`.
  int Open(const std::string& address, uint16_t port, std::string* error, int buffer_bytes = 0) {
    tgr_receiver_close(handle_);
    handle_ = nullptr;
    char words[512] = "";
    const int result = tgr_receiver_open(address.c_str(), port, buffer_bytes, &handle_, words, sizeof words);
    if (error != nullptr) *error = words;
    return result;
  }

  // The next datagram into `*bytes` (resized to it), waiting up to
  // `timeout_ms` (negative: without end).
  int Next(int timeout_ms, std::vector<unsigned char>* bytes, tgr_datagram* datagram) {
    if (handle_ == nullptr || bytes == nullptr || datagram == nullptr) return TGR_E_ARGUMENT;
    bytes->resize(TGR_MAX_TELEGRAM_SIZE);
    const int result = tgr_receiver_next(handle_, timeout_ms, bytes->data(), bytes->size(), datagram);
    bytes->resize(result == TGR_OK ? datagram->size : 0);
    return result;
  }

  // The same into a buffer of the caller's.
  int Next(int timeout_ms, void* buffer, size_t capacity, tgr_datagram* datagram) {
    if (handle_ == nullptr) return TGR_E_ARGUMENT;
    return tgr_receiver_next(handle_, timeout_ms, buffer, capacity, datagram);
  }

  // From any thread: the wait under way, and every one after, end.
  int Cancel() { return tgr_receiver_cancel(handle_); }

  int Drops(uint64_t* dropped, bool* system_wide) {
    int whole = 0;
    const int result = tgr_receiver_drops(handle_, dropped, &whole);
    if (system_wide != nullptr) *system_wide = whole != 0;
    return result;
  }

  uint16_t port() const { return tgr_receiver_port(handle_); }
  // Where the last datagram was sent (tgr_receiver_destination).
  uint32_t destination() const { return tgr_receiver_destination(handle_); }
  const char* error() const { return tgr_receiver_error(handle_); }
  bool is_open() const { return handle_ != nullptr; }

 private:
  tgr_receiver* handle_ = nullptr;
};

// A pcapng recording being written. Owns its handle; the destructor closes
// it (Close says whether every packet reached the file).
class Recorder {
 public:
  Recorder() = default;
  ~Recorder() { tgr_recorder_close(handle_, nullptr, 0); }
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  int Open(const std::string& path, std::string* error) {
    Close(nullptr);
    char words[512] = "";
    const int result = tgr_recorder_open(path.c_str(), &handle_, words, sizeof words);
    if (error != nullptr) *error = words;
    return result;
  }

  int Write(const tgr_datagram& datagram, const void* bytes, size_t size, uint32_t destination_address,
            uint16_t destination_port) {
    if (handle_ == nullptr) return TGR_E_ARGUMENT;
    return tgr_recorder_write(handle_, &datagram, bytes, size, destination_address, destination_port);
  }

  int Close(std::string* error) {
    char words[512] = "";
    const int result = tgr_recorder_close(handle_, words, sizeof words);
    handle_ = nullptr;
    if (error != nullptr) *error = words;
    return result;
  }

  uint64_t packets() const { return tgr_recorder_packets(handle_); }
  const char* error() const { return tgr_recorder_error(handle_); }

 private:
  tgr_recorder* handle_ = nullptr;
};

// A capture being read: the datagrams bound for one port. Owns its handle;
// closed by its destructor.
class Capture {
 public:
  Capture() = default;
  ~Capture() { tgr_capture_close(handle_); }
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;
  Capture(Capture&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  Capture& operator=(Capture&& other) noexcept {
    if (this != &other) {
      tgr_capture_close(handle_);
      handle_ = other.handle_;
      other.handle_ = nullptr;
    }
    return *this;
  }

  // On failure, the words in `*error`.
  int Open(const std::string& path, uint16_t port, std::string* error) {
    tgr_capture_close(handle_);
    handle_ = nullptr;
    char words[512] = "";
    const int result = tgr_capture_open(path.c_str(), port, &handle_, words, sizeof words);
    if (error != nullptr) *error = words;
    return result;
  }

  // TGR_OK with the next datagram (its bytes valid until the next call), or
  // TGR_E_END once the packets are over (Summary() says how they ended).
  int Next(const unsigned char** bytes, tgr_datagram* datagram) {
    if (handle_ == nullptr || bytes == nullptr) return TGR_E_ARGUMENT;
    const void* taken = nullptr;
    const int result = tgr_capture_next(handle_, &taken, datagram);
    *bytes = static_cast<const unsigned char*>(taken);
    return result;
  }

  // The last datagram's time whole (tgr_capture_time).
  int Time(uint64_t* seconds, uint32_t* nanoseconds) const {
    return tgr_capture_time(handle_, seconds, nanoseconds);
  }

  tgr_capture_summary Summary() const {
    tgr_capture_summary summary{};
    if (handle_ != nullptr) tgr_capture_summary_get(handle_, &summary);
    return summary;
  }

  // How the packets ended, if not whole ("" while reading or when whole).
  const char* error() const { return handle_ != nullptr ? tgr_capture_error(handle_) : ""; }
  bool is_open() const { return handle_ != nullptr; }

 private:
  tgr_capture* handle_ = nullptr;
};

// The receiver's report read back to its blocks of values. Owns its handle.
class ReportReader {
 public:
  ReportReader() : handle_(tgr_report_reader_new()) {}
  ~ReportReader() { tgr_report_reader_free(handle_); }
  ReportReader(const ReportReader&) = delete;
  ReportReader& operator=(const ReportReader&) = delete;

  // False if its memory could not be had; then every call says so.
  bool ok() const { return handle_ != nullptr; }

  // TGR_OK, or TGR_E_DAMAGED for good (error() says where).
  int Feed(const void* text, size_t size) {
    return handle_ ? tgr_report_reader_feed(handle_, text, size) : TGR_E_MEMORY;
  }
  int End() { return handle_ ? tgr_report_reader_end(handle_) : TGR_E_MEMORY; }
  // TGR_OK with the next whole block (its values valid until the next
  // call), or TGR_E_END.
  int Next(tgr_report_block* block) { return handle_ ? tgr_report_reader_next(handle_, block) : TGR_E_MEMORY; }

  uint64_t telegrams() const { return tgr_report_reader_telegrams(handle_); }
  bool finished() const { return tgr_report_reader_finished(handle_) != 0; }
  bool started() const { return tgr_report_reader_started(handle_) != 0; }
  const char* error() const { return tgr_report_reader_error(handle_); }

 private:
  tgr_report_reader* handle_;
};

}  // namespace tgr

#endif  // TGR_TGR_HPP_
