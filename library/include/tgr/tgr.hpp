// tgr for C++: owning types over the C interface (tgr.h), header-only, so
// that the library's binary interface stays the C one. No exceptions: a
// call that can fail returns a tgr result code, as the C interface does.
// Every owning type closes its handle in its destructor and can be moved,
// not copied; the structs it fills have their struct_size set here.
#ifndef TGR_TGR_HPP_
#define TGR_TGR_HPP_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "tgr/tgr.h"

namespace tgr {

inline const char* Version() { return tgr_version(); }
inline int VersionNumber() { return tgr_version_number(); }
inline const char* ErrorText(int code) { return tgr_strerror(code); }

// A struct of the C interface with its struct_size set, ready for a call.
template <typename Struct>
Struct Sized() {
  Struct s = {};
  s.struct_size = sizeof(Struct);
  return s;
}

// One datagram's size, time and source, sized for the calls that fill it.
struct Datagram : tgr_datagram {
  // Every field is zeroed by tgr_datagram(), before struct_size is set.
  // cppcheck-suppress uninitDerivedMemberVar
  Datagram() : tgr_datagram() { struct_size = sizeof(tgr_datagram); }
};

// One telegram's fields. Its values point into the bytes decoded: use
// Values() or Value() while those bytes live, or copy them out.
struct Telegram : tgr_telegram {
  // Every field is zeroed by tgr_telegram(), before struct_size is set.
  // cppcheck-suppress uninitDerivedMemberVar
  Telegram() : tgr_telegram() { struct_size = sizeof(tgr_telegram); }

  // Any bytes decode (a short telegram reads as zeros).
  static Telegram Decode(const void* bytes, size_t size) {
    Telegram t;
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

// A handle of the C interface, owned: closed by the destructor, moved, not
// copied. The words of a close that failed are lost; call Close to have them.
template <typename Handle, int (*CloseHandle)(Handle*, char*, size_t)>
class Owned {
 public:
  Owned() = default;
  ~Owned() { CloseHandle(handle_, nullptr, 0); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      CloseHandle(handle_, nullptr, 0);
      handle_ = other.handle_;
      other.handle_ = nullptr;
    }
    return *this;
  }

  Handle* get() const { return handle_; }
  // Where an open puts the new handle; the one held before is closed.
  Handle** Reset() {
    CloseHandle(handle_, nullptr, 0);
    handle_ = nullptr;
    return &handle_;
  }
  // Closes it now: TGR_OK, or a failure with its words in `*error`.
  int Close(std::string* error) {
    char words[512] = "";
    const int result = CloseHandle(handle_, words, sizeof words);
    handle_ = nullptr;
    if (error != nullptr) *error = words;
    return result;
  }

 private:
  Handle* handle_ = nullptr;
};

// Runs an open of the C interface into `owned`, its words into `*error`.
template <typename Owner, typename Open>
int OpenInto(Owner* owned, std::string* error, Open open) {
  char words[512] = "";
  const int result = open(owned->Reset(), words, sizeof words);
  if (error != nullptr) *error = words;
  return result;
}

// The type-6 telegrams' gaps, repeats and reordering, counted (tgr.h says
// what each count claims). Opened as it is made.
class Sequence {
 public:
  Sequence() {
    const int opened =
        OpenInto(&handle_, nullptr, [](tgr_sequence** s, char* e, size_t n) { return tgr_sequence_open(s, e, n); });
    static_cast<void>(opened);  // ok() says whether it opened
  }

  // False if its memory could not be had; then every call says so.
  bool ok() const { return handle_.get() != nullptr; }

  int Add(const tgr_telegram& telegram) { return ok() ? tgr_sequence_add(handle_.get(), &telegram) : TGR_E_MEMORY; }

  tgr_sequence_counts Counts() const {
    tgr_sequence_counts counts = Sized<tgr_sequence_counts>();
    if (ok()) tgr_sequence_counts_get(handle_.get(), &counts);
    return counts;
  }

 private:
  Owned<tgr_sequence, tgr_sequence_close> handle_;
};

// The sequence counted for each source apart (tgr_source_sequence).
class SourceSequence {
 public:
  // `most_apart` sources counted each apart; 0: TGR_SOURCES_APART.
  explicit SourceSequence(size_t most_apart = 0) {
    const int opened = OpenInto(&handle_, nullptr, [most_apart](tgr_source_sequence** s, char* e, size_t n) {
      return tgr_source_sequence_open(most_apart, s, e, n);
    });
    static_cast<void>(opened);  // ok() says whether it opened
  }

  // False if it could not be opened; then every call says so.
  bool ok() const { return handle_.get() != nullptr; }

  int Add(uint32_t address, uint16_t port, const tgr_telegram& telegram) {
    return ok() ? tgr_source_sequence_add(handle_.get(), address, port, &telegram) : TGR_E_MEMORY;
  }
  size_t entries() const { return ok() ? tgr_source_sequence_entries(handle_.get()) : 0; }
  // Entry `index` (below entries()), or the totals: its source, and its
  // sequence into `*counts` if given.
  tgr_source_counts Entry(size_t index, tgr_sequence_counts* counts = nullptr) const {
    return Read([&](tgr_source_counts* s, tgr_sequence_counts* c) {
      return tgr_source_sequence_get(handle_.get(), index, s, c);
    }, counts);
  }
  tgr_source_counts Totals(tgr_sequence_counts* counts = nullptr) const {
    return Read([&](tgr_source_counts* s, tgr_sequence_counts* c) {
      return tgr_source_sequence_totals(handle_.get(), s, c);
    }, counts);
  }

 private:
  template <typename Get>
  tgr_source_counts Read(Get get, tgr_sequence_counts* counts) const {
    tgr_source_counts source = Sized<tgr_source_counts>();
    tgr_sequence_counts sequence = Sized<tgr_sequence_counts>();
    if (ok()) get(&source, &sequence);
    if (counts != nullptr) *counts = sequence;
    return source;
  }

  Owned<tgr_source_sequence, tgr_source_sequence_close> handle_;
};

// A UDP port receiving telegrams.
class Receiver {
 public:
  // Opens `port` on `address` ("": every local IPv4 address; a multicast
  // group is joined on the interface named, "" for the system's choice);
  // on failure, the words in `*error`.
  int Open(const std::string& address, uint16_t port, std::string* error, int buffer_bytes = 0,
           const std::string& interface_name = "") {
    tgr_receiver_options options = Sized<tgr_receiver_options>();
    options.buffer_bytes = buffer_bytes;
    options.interface_name = interface_name.c_str();
    return OpenInto(&handle_, error, [&](tgr_receiver** r, char* e, size_t n) {
      return tgr_receiver_open_with(address.c_str(), port, &options, r, e, n);
    });
  }

  // The next datagram into `*bytes` (made its size), waiting up to
  // `timeout_ms` (negative: without end). Only the bytes received are
  // copied into it.
  int Next(int timeout_ms, std::vector<unsigned char>* bytes, tgr_datagram* datagram) {
    if (!is_open() || bytes == nullptr || datagram == nullptr) return TGR_E_ARGUMENT;
    if (!buffer_) buffer_.reset(new (std::nothrow) unsigned char[TGR_MAX_TELEGRAM_SIZE]);
    if (!buffer_) return TGR_E_MEMORY;
    const int result = Next(timeout_ms, buffer_.get(), TGR_MAX_TELEGRAM_SIZE, datagram);
    if (result == TGR_OK) {
      bytes->assign(buffer_.get(), buffer_.get() + datagram->size);
    } else {
      bytes->clear();
    }
    return result;
  }

  // The same into a buffer of the caller's.
  int Next(int timeout_ms, void* buffer, size_t capacity, tgr_datagram* datagram) {
    if (!is_open() || datagram == nullptr) return TGR_E_ARGUMENT;
    datagram->struct_size = sizeof(tgr_datagram);
    return tgr_receiver_next(handle_.get(), timeout_ms, buffer, capacity, datagram);
  }

  // From any thread: the wait under way, and every one after, end. For
  // good: the datagrams already waiting are still given, then
  // TGR_E_CANCELLED; open again to receive again.
  int Cancel() { return tgr_receiver_cancel(handle_.get()); }

  int Drops(uint64_t* dropped, bool* system_wide) {
    int whole = 0;
    const int result = tgr_receiver_drops(handle_.get(), dropped, &whole);
    if (system_wide != nullptr) *system_wide = whole != 0;
    return result;
  }

  uint16_t port() const { return tgr_receiver_port(handle_.get()); }
  // Whether the address is a multicast group, joined.
  bool multicast() const { return tgr_receiver_multicast(handle_.get()) != 0; }
  // Where the last datagram was sent (tgr_receiver_destination).
  uint32_t destination() const { return tgr_receiver_destination(handle_.get()); }
  const char* error() const { return tgr_receiver_error(handle_.get()); }
  bool is_open() const { return handle_.get() != nullptr; }

 private:
  Owned<tgr_receiver, tgr_receiver_close> handle_;
  std::unique_ptr<unsigned char[]> buffer_;  // for Next into a vector; not cleared
};

// A pcapng recording being written. Close says whether every packet
// reached the file; the destructor closes it without saying.
class Recorder {
 public:
  int Open(const std::string& path, std::string* error) {
    return OpenInto(&handle_, error,
                    [&](tgr_recorder** r, char* e, size_t n) { return tgr_recorder_open(path.c_str(), r, e, n); });
  }

  int Write(const tgr_datagram& datagram, const void* bytes, size_t size, uint32_t destination_address,
            uint16_t destination_port) {
    if (!is_open()) return TGR_E_ARGUMENT;
    return tgr_recorder_write(handle_.get(), &datagram, bytes, size, destination_address, destination_port);
  }

  int Close(std::string* error) { return handle_.Close(error); }

  uint64_t packets() const { return tgr_recorder_packets(handle_.get()); }
  uint64_t bytes() const { return tgr_recorder_bytes(handle_.get()); }
  const char* error() const { return tgr_recorder_error(handle_.get()); }
  bool is_open() const { return handle_.get() != nullptr; }

 private:
  Owned<tgr_recorder, tgr_recorder_close> handle_;
};

// A capture being read: the datagrams bound for one port.
class Capture {
 public:
  // On failure, the words in `*error`.
  int Open(const std::string& path, uint16_t port, std::string* error) {
    return OpenInto(&handle_, error, [&](tgr_capture** c, char* e, size_t n) {
      return tgr_capture_open(path.c_str(), port, c, e, n);
    });
  }

  // TGR_OK with the next datagram (its bytes valid until the next call), or
  // TGR_E_END once the packets are over (Summary() says how they ended).
  int Next(const unsigned char** bytes, tgr_datagram* datagram) {
    if (!is_open() || bytes == nullptr || datagram == nullptr) return TGR_E_ARGUMENT;
    datagram->struct_size = sizeof(tgr_datagram);
    const void* taken = nullptr;
    const int result = tgr_capture_next(handle_.get(), &taken, datagram);
    *bytes = static_cast<const unsigned char*>(taken);
    return result;
  }

  // The last datagram's time whole (tgr_capture_time).
  int Time(uint64_t* seconds, uint32_t* nanoseconds) const {
    return tgr_capture_time(handle_.get(), seconds, nanoseconds);
  }

  tgr_capture_summary Summary() const {
    tgr_capture_summary summary = Sized<tgr_capture_summary>();
    if (is_open()) tgr_capture_summary_get(handle_.get(), &summary);
    return summary;
  }

  // How the packets ended, if not whole, with the byte ("" while reading
  // or when whole).
  const char* error() const { return is_open() ? tgr_capture_error(handle_.get()) : ""; }
  bool is_open() const { return handle_.get() != nullptr; }

 private:
  Owned<tgr_capture, tgr_capture_close> handle_;
};

// The receiver's report read back to its blocks of values. Opened as it is
// made.
class ReportReader {
 public:
  ReportReader() {
    const int opened = OpenInto(&handle_, nullptr,
                                [](tgr_report_reader** r, char* e, size_t n) { return tgr_report_reader_open(r, e, n); });
    static_cast<void>(opened);  // ok() says whether it opened
  }

  // False if its memory could not be had; then every call says so.
  bool ok() const { return handle_.get() != nullptr; }

  // Each block's values as printed, not made numbers (before the first Feed).
  int ValuesAsText() { return ok() ? tgr_report_reader_values_as_text(handle_.get()) : TGR_E_MEMORY; }

  // TGR_OK, or TGR_E_DAMAGED for good (error() says where).
  int Feed(const void* text, size_t size) {
    return ok() ? tgr_report_reader_feed(handle_.get(), text, size) : TGR_E_MEMORY;
  }
  int End() { return ok() ? tgr_report_reader_end(handle_.get()) : TGR_E_MEMORY; }
  // TGR_OK with the next whole block (its values valid until the next
  // call), or TGR_E_END.
  int Next(tgr_report_block* block) {
    if (!ok()) return TGR_E_MEMORY;
    if (block == nullptr) return TGR_E_ARGUMENT;
    block->struct_size = sizeof(tgr_report_block);
    return tgr_report_reader_next(handle_.get(), block);
  }

  uint64_t telegrams() const { return tgr_report_reader_telegrams(handle_.get()); }
  bool finished() const { return tgr_report_reader_finished(handle_.get()) != 0; }
  bool started() const { return tgr_report_reader_started(handle_.get()) != 0; }
  const char* error() const { return tgr_report_reader_error(handle_.get()); }

 private:
  Owned<tgr_report_reader, tgr_report_reader_close> handle_;
};

}  // namespace tgr

#endif  // TGR_TGR_HPP_
