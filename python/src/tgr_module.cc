// tgr._tgr: the library's C interface for Python, through pybind11. Each
// class owns its handle. The Python package (tgr/__init__.py) builds the
// iterators, the loss counts and the scans on top of these.
//
// Errors become Python's exceptions here, the convention of this layer:
// the system's refusals OSError, damaged input ValueError, a time-out
// TimeoutError, a cancelled wait tgr.Cancelled.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <Python.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "telegram/telegram_layout.h"
#include "tgr/tgr.h"

namespace py = pybind11;

namespace {

// A blocking wait gives way this often to let Python see Ctrl-C: well
// within the tenth of a second a user may wait for KeyboardInterrupt.
constexpr int kSignalCheckMs = 50;
constexpr size_t kErrorSize = 512;

// Python's objects the module keeps for good: handles, never released, as
// the interpreter may be gone when static objects are destroyed.
PyObject* cancelled_type = nullptr;
PyObject* capture_warning = nullptr;

[[noreturn]] void Raise(PyObject* type, const std::string& words) {
  PyErr_SetString(type, words.c_str());
  throw py::error_already_set();
}

// OSError(errno, words[, filename]): Python makes it the subclass the number
// names (FileNotFoundError for ENOENT, PermissionError for EACCES, ...).
[[noreturn]] void RaiseOsError(int os_error, const std::string& words, const std::string& filename) {
  py::object error;
  if (os_error == 0) {
    error = py::reinterpret_steal<py::object>(PyObject_CallFunction(PyExc_OSError, "s", words.c_str()));
  } else if (filename.empty()) {
    error = py::reinterpret_steal<py::object>(PyObject_CallFunction(PyExc_OSError, "is", os_error, words.c_str()));
  } else {
    error = py::reinterpret_steal<py::object>(
        PyObject_CallFunction(PyExc_OSError, "iss", os_error, words.c_str(), filename.c_str()));
  }
  if (!error) throw py::error_already_set();
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
  throw py::error_already_set();
}

// The exception for a result code other than TGR_OK, with the words of the
// handle (or of the code, where there are none). `os_error` is the errno the
// call left, taken at once after it.
[[noreturn]] void RaiseResult(int code, const std::string& words, int os_error = 0,
                              const std::string& filename = "") {
  const std::string text = words.empty() ? tgr_strerror(code) : words;
  switch (code) {
    case TGR_E_MEMORY: throw std::bad_alloc();
    case TGR_E_TIMEOUT: Raise(PyExc_TimeoutError, text);
    case TGR_E_CANCELLED: Raise(cancelled_type, text);
    case TGR_E_SOCKET:
    case TGR_E_FILE: RaiseOsError(os_error, text, filename);
    case TGR_E_UNSUPPORTED: Raise(PyExc_NotImplementedError, text);
    default: Raise(PyExc_ValueError, text);
  }
}

// An argument's value as an integer within a range: TypeError for what is
// no integer (a float, a string), ValueError beyond the range.
int64_t IntegerArgument(const py::handle& value, const char* name, int64_t least, int64_t most, const char* what) {
  if (!PyLong_Check(value.ptr()) || PyBool_Check(value.ptr())) {
    Raise(PyExc_TypeError, std::string(name) + " must be an int (" + what + "), not " +
                               std::string(py::str(py::type::handle_of(value).attr("__name__"))));
  }
  int overflow = 0;
  const long long n = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
  if (overflow != 0 || n < least || n > most) {
    Raise(PyExc_ValueError, std::string(name) + " must be " + std::to_string(least) + " to " + std::to_string(most) +
                                ", not " + std::string(py::str(value)));
  }
  return n;
}

std::string DottedAddress(uint32_t address) {
  std::array<char, 16> text{};
  std::snprintf(text.data(), text.size(), "%u.%u.%u.%u", unsigned{address >> 24}, unsigned{(address >> 16) & 255u},
                unsigned{(address >> 8) & 255u}, unsigned{address & 255u});
  return text.data();
}

// "1.2.3.4" to a host-order address; ValueError for anything else.
uint32_t ParseAddress(const std::string& text) {
  uint32_t address = 0;
  const char* at = text.data();
  const char* const end = text.data() + text.size();
  for (int part = 0; part < 4; ++part) {
    unsigned value = 256;
    const auto read = std::from_chars(at, end, value);
    // The last number ends the text; the others end at a dot (the text's
    // own NUL where it ends too soon).
    const bool last = part == 3;
    if (read.ec != std::errc() || value > 255 || read.ptr - at > 3 || (last ? read.ptr != end : *read.ptr != '.')) {
      Raise(PyExc_ValueError, "not an IPv4 address: \"" + text + "\"");
    }
    address = address << 8 | value;
    at = read.ptr + 1;
  }
  return address;
}

int LineEnds(const std::string& name) {
  if (name == "receiver") return TGR_LINE_ENDS_RECEIVER;
  if (name == "lf") return TGR_LINE_ENDS_AS_WRITTEN;
  if (name == "crlf") return TGR_LINE_ENDS_CRLF;
  Raise(PyExc_ValueError, "line_ends must be \"receiver\", \"lf\" or \"crlf\", not \"" + name + "\"");
}

// One telegram: its fields, when and where it came from, its own copy of
// its bytes, and its values as a read-only numpy view of that copy.
struct Telegram {
  Telegram() { fields.struct_size = sizeof fields; }
  tgr_telegram fields{};
  py::object data = py::none();     // bytes, or None for a block read from a report
  py::object values;                // numpy uint16, read-only
  py::object time_ns = py::none();  // int, or None
  bool kernel_time = false;
  py::object source = py::none();   // (address, port), or None
  py::object line = py::none();     // a report's line number
  bool cut_short = false;
};

py::handle FromBuffer() {
  static const py::handle frombuffer = py::object(py::module_::import("numpy").attr("frombuffer")).release();
  return frombuffer;
}
py::handle LittleUint16() {
  static const py::handle dtype = py::dtype("<u2").release();
  return dtype;
}

// A telegram made of a copy of `size` bytes.
Telegram MakeTelegram(const void* bytes, size_t size) {
  Telegram t;
  py::bytes copy(static_cast<const char*>(bytes), size);
  const char* own = PyBytes_AS_STRING(copy.ptr());
  tgr_decode(own, size, &t.fields);
  const size_t offset = t.fields.values == nullptr ? 0 : static_cast<size_t>(t.fields.values - reinterpret_cast<const uint8_t*>(own));
  // numpy's view of a bytes object is read-only and keeps the bytes alive.
  t.values = FromBuffer()(copy, LittleUint16(), t.fields.value_count, offset);  // (buffer, dtype, count, offset)
  t.fields.values = nullptr;  // the bytes moved; values are read through the array
  t.data = std::move(copy);
  return t;
}

// A source's (address, port), kept from one telegram to the next: a
// scanner's telegrams come from one source, which is then made once.
class Sources {
 public:
  py::object Of(uint32_t address, uint16_t port) {
    if (last_.is_none() || address != address_ || port != port_) {
      last_ = py::make_tuple(DottedAddress(address), port);
      address_ = address;
      port_ = port;
    }
    return last_;
  }

 private:
  py::object last_ = py::none();
  uint32_t address_ = 0;
  uint16_t port_ = 0;
};

void SetOrigin(Telegram* t, const tgr_datagram& d, Sources* sources) {
  t->time_ns = d.time_ns < 0 ? py::none() : py::object(py::int_(d.time_ns));
  t->kernel_time = d.kernel_time != 0;
  t->source = sources->Of(d.source_address, d.source_port);
}

py::bytes Report(const char* bytes, size_t size, int line_ends) {
  // The bound's room always holds the report: one pass.
  std::string text(tgr_report_bound(bytes, size), '\0');
  size_t length = 0;
  const int result = tgr_report(bytes, size, line_ends, text.data(), text.size(), &length);
  if (result != TGR_OK) RaiseResult(result, "");
  return py::bytes(text.data(), length);
}

std::string ErrorWords(const std::array<char, kErrorSize>& error) { return error.data(); }

// The receiver: a UDP port, waited on with the GIL released.
class Receiver {
 public:
  Receiver(const std::string& address, uint16_t port, int buffer_bytes, const std::string& interface_name)
      : buffer_(TGR_MAX_TELEGRAM_SIZE + 1) {
    std::array<char, kErrorSize> error{};
    tgr_receiver_options options{};
    options.struct_size = sizeof options;
    options.buffer_bytes = buffer_bytes;
    options.interface_name = interface_name.c_str();
    const int result = tgr_receiver_open_with(address.c_str(), port, &options, &handle_, error.data(), error.size());
    const int os_error = errno;
    if (result != TGR_OK) RaiseResult(result, ErrorWords(error), os_error);
  }
  ~Receiver() { tgr_receiver_close(handle_, nullptr, 0); }
  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;

  uint16_t port() const { return handle_ == nullptr ? 0 : tgr_receiver_port(handle_); }
  bool closed() const { return handle_ == nullptr; }

  // The next telegram within `timeout_ms` (negative: no end). The GIL is
  // let go while waiting, taken back every kSignalCheckMs to let a signal
  // handler (Ctrl-C) run and raise.
  Telegram Next(int timeout_ms) {
    Open();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    tgr_datagram datagram{};
    datagram.struct_size = sizeof datagram;
    busy_ = true;
    int result = TGR_E_TIMEOUT;
    int os_error = 0;
    for (;;) {
      int slice = kSignalCheckMs;
      if (timeout_ms >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        slice = static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(slice, left.count())));
      }
      {
        py::gil_scoped_release released;
        result = tgr_receiver_next(handle_, slice, buffer_.data(), buffer_.size(), &datagram);
        os_error = errno;
      }
      if (result != TGR_E_TIMEOUT || (timeout_ms >= 0 && std::chrono::steady_clock::now() >= deadline)) break;
      if (PyErr_CheckSignals() != 0) {
        busy_ = false;
        FinishClose();
        throw py::error_already_set();
      }
    }
    busy_ = false;
    if (FinishClose()) result = TGR_E_CANCELLED;
    if (result != TGR_OK) RaiseResult(result, result == TGR_E_SOCKET ? tgr_receiver_error(handle_) : "", os_error);
    Telegram t = MakeTelegram(buffer_.data(), datagram.size);
    SetOrigin(&t, datagram, &sources_);
    return t;
  }

  // From any thread: the wait under way ends with Cancelled.
  void Cancel() {
    if (handle_ != nullptr) tgr_receiver_cancel(handle_);
  }

  // (dropped, system_wide), or None where the system keeps no count.
  py::object Drops() {
    Open();
    uint64_t dropped = 0;
    int system_wide = 0;
    const int result = tgr_receiver_drops(handle_, &dropped, &system_wide);
    if (result == TGR_E_UNSUPPORTED) return py::none();
    if (result != TGR_OK) RaiseResult(result, tgr_receiver_error(handle_));
    return py::make_tuple(dropped, system_wide != 0);
  }

  // Closes the socket; a wait under way in another thread is cancelled and
  // the socket closed as it ends.
  void Close() {
    if (handle_ == nullptr) return;
    if (busy_) {
      close_asked_ = true;
      tgr_receiver_cancel(handle_);
      return;
    }
    tgr_receiver_close(handle_, nullptr, 0);
    handle_ = nullptr;
  }

 private:
  void Open() const {
    if (handle_ == nullptr) Raise(PyExc_ValueError, "the receiver is closed");
  }
  bool FinishClose() {
    if (!close_asked_) return false;
    tgr_receiver_close(handle_, nullptr, 0);
    handle_ = nullptr;
    close_asked_ = false;
    return true;
  }

  tgr_receiver* handle_ = nullptr;
  Sources sources_;
  std::vector<unsigned char> buffer_;
  bool busy_ = false;  // read and written with the GIL held
  bool close_asked_ = false;
};

class Sequence {
 public:
  Sequence() {
    if (tgr_sequence_open(&handle_, nullptr, 0) != TGR_OK) throw std::bad_alloc();
  }
  ~Sequence() { tgr_sequence_close(handle_, nullptr, 0); }
  Sequence(const Sequence&) = delete;
  Sequence& operator=(const Sequence&) = delete;

  void Add(const Telegram& t) {
    tgr_telegram fields = t.fields;
    fields.values = nullptr;
    tgr_sequence_add(handle_, &fields);
  }
  py::dict Counts() const {
    tgr_sequence_counts c{};
    c.struct_size = sizeof c;
    tgr_sequence_counts_get(handle_, &c);
    py::dict d;
    d["telegrams"] = c.telegrams;
    d["block_telegrams"] = c.block_telegrams;
    d["missing_blocks"] = c.missing_blocks;
    d["missing_scans"] = c.missing_scans;
    d["missing_tail_blocks"] = c.missing_tail_blocks;
    d["repeated"] = c.repeated;
    d["reordered"] = c.reordered;
    d["restarts"] = c.restarts;
    d["outliers"] = c.outliers;
    return d;
  }

 private:
  tgr_sequence* handle_;
};

// A capture's telegrams: its own iterator, so that a for loop over it runs
// here alone, counting each in the sequence as it goes.
class Capture {
 public:
  Capture(const std::string& path, uint16_t port) : path_(path) {
    std::array<char, kErrorSize> error{};
    const int result = tgr_capture_open(path.c_str(), port, &handle_, error.data(), error.size());
    const int os_error = errno;
    if (result != TGR_OK) RaiseResult(result, ErrorWords(error), os_error, path);
    // The first packet is read now, so that a file that is no capture at
    // all is said here, not at the first telegram.
    first_ = Read();
    if (first_.is_none() && Ends() == TGR_CAPTURE_DAMAGED) {
      const std::string words = tgr_capture_error(handle_);
      Close();
      Raise(PyExc_ValueError, path_ + ": " + words);
    }
  }
  ~Capture() { tgr_capture_close(handle_, nullptr, 0); }
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  // The next telegram bound for the port. Once they are over: ValueError
  // if the file is damaged, a CaptureWarning if it is cut short, then
  // StopIteration.
  py::object Next() {
    if (handle_ == nullptr) throw py::stop_iteration();
    py::object telegram = first_.is_none() ? Read() : std::move(first_);
    first_ = py::none();
    if (!telegram.is_none()) {
      sequence_.Add(telegram.cast<const Telegram&>());
      return telegram;
    }
    const int end = Ends();
    const std::string words = tgr_capture_error(handle_);
    Close();
    if (end == TGR_CAPTURE_DAMAGED) Raise(PyExc_ValueError, path_ + ": " + words);
    if (end == TGR_CAPTURE_CUT_SHORT) {
      const std::string warning = path_ + ": " + words;
      if (PyErr_WarnEx(capture_warning, warning.c_str(), 1) != 0) throw py::error_already_set();
    }
    throw py::stop_iteration();
  }

  // How the packets ended, and what was read and passed over.
  py::dict Summary() {
    if (handle_ == nullptr) return summary_;
    tgr_capture_summary s{};
    s.struct_size = sizeof s;
    tgr_capture_summary_get(handle_, &s);
    static const std::array<const char*, 4> ends = {"reading", "whole", "cut short", "damaged"};
    py::dict d;
    d["end"] = s.end >= 0 && s.end < 4 ? ends[static_cast<size_t>(s.end)] : "damaged";
    d["end_offset"] = s.end_offset;
    d["packets"] = s.packets;
    d["taken"] = s.taken;
    d["not_udp"] = s.not_udp;
    d["other_port"] = s.other_port;
    d["incomplete"] = s.incomplete;
    d["cut_short"] = s.cut_short;
    d["conflicting"] = s.conflicting;
    d["first_other_port"] = s.first_other_port == 0 ? py::none() : py::object(py::int_(s.first_other_port));
    d["words"] = std::string(tgr_capture_error(handle_));
    return d;
  }

  py::dict Counts() const { return sequence_.Counts(); }

  // Closes the file; the summary stays as it was.
  void Close() {
    if (handle_ == nullptr) return;
    summary_ = Summary();
    tgr_capture_close(handle_, nullptr, 0);
    handle_ = nullptr;
  }

 private:
  // The next telegram for the port, or None once the packets are over.
  py::object Read() {
    const void* bytes = nullptr;
    tgr_datagram datagram{};
    datagram.struct_size = sizeof datagram;
    const int result = tgr_capture_next(handle_, &bytes, &datagram);
    if (result == TGR_E_END) return py::none();
    if (result != TGR_OK) RaiseResult(result, tgr_capture_error(handle_));
    Telegram t = MakeTelegram(bytes, datagram.size);
    SetOrigin(&t, datagram, &sources_);
    return py::cast(std::move(t));
  }
  int Ends() const {
    tgr_capture_summary s{};
    s.struct_size = sizeof s;
    tgr_capture_summary_get(handle_, &s);
    return s.end;
  }

  std::string path_;
  tgr_capture* handle_ = nullptr;
  Sources sources_;
  Sequence sequence_;
  py::object first_ = py::none();
  py::dict summary_;
};

class ReportReader {
 public:
  ReportReader() {
    if (tgr_report_reader_open(&handle_, nullptr, 0) != TGR_OK) throw std::bad_alloc();
  }
  ~ReportReader() { tgr_report_reader_close(handle_, nullptr, 0); }
  ReportReader(const ReportReader&) = delete;
  ReportReader& operator=(const ReportReader&) = delete;

  // Reads more of the report; returns the blocks it completed. A damaged
  // report raises ValueError, after the blocks before it were taken.
  py::list Feed(const py::bytes& text) {
    const std::string_view view = text;
    const int result = tgr_report_reader_feed(handle_, view.data(), view.size());
    return Blocks(result);
  }
  py::list End() { return Blocks(tgr_report_reader_end(handle_)); }
  uint64_t Telegrams() const { return tgr_report_reader_telegrams(handle_); }
  bool Finished() const { return tgr_report_reader_finished(handle_) != 0; }
  std::string Error() const { return tgr_report_reader_error(handle_); }

 private:
  py::list Blocks(int result) {
    py::list blocks;
    tgr_report_block block{};
    block.struct_size = sizeof block;
    while (tgr_report_reader_next(handle_, &block) == TGR_OK) {
      Telegram t;
      t.fields.type = TGR_TYPE_BLOCK_VALUES;
      // The report prints TotalSize less the header.
      t.fields.total_size = static_cast<uint32_t>(block.size + static_cast<int64_t>(kHeaderSize));
      t.fields.scan_no = static_cast<uint32_t>(block.scan_no);
      t.fields.block_no = block.block_no;
      t.fields.value_count = block.value_count;
      py::array_t<uint16_t> values(static_cast<py::ssize_t>(block.value_count));
      std::copy(block.values, block.values + block.value_count, values.mutable_data());
      values.attr("flags").attr("writeable") = false;
      t.values = std::move(values);
      t.line = py::int_(block.line);
      t.cut_short = block.cut_short != 0;
      blocks.append(py::cast(std::move(t)));
    }
    // Blocks read before the damage are given first: the caller raises
    // once it has passed them on.
    if (result != TGR_OK) blocks.append(py::str(tgr_report_reader_error(handle_)));
    return blocks;
  }
  tgr_report_reader* handle_ = nullptr;
};

class Recorder {
 public:
  Recorder(const std::string& path, const std::string& address, uint16_t port)
      : destination_(ParseAddress(address)), port_(port) {
    std::array<char, kErrorSize> error{};
    const int result = tgr_recorder_open(path.c_str(), &handle_, error.data(), error.size());
    const int os_error = errno;
    if (result != TGR_OK) RaiseResult(result, ErrorWords(error), os_error, path);
  }
  ~Recorder() { tgr_recorder_close(handle_, nullptr, 0); }
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  void Write(const Telegram& t, int64_t now_ns) {
    if (handle_ == nullptr) Raise(PyExc_ValueError, "the recorder is closed");
    if (t.data.is_none()) Raise(PyExc_ValueError, "a block read from a report has no telegram bytes to record");
    const std::string_view bytes = py::reinterpret_borrow<py::bytes>(t.data);
    tgr_datagram d{};
    d.struct_size = sizeof d;
    d.size = bytes.size();
    d.time_ns = t.time_ns.is_none() ? now_ns : t.time_ns.cast<int64_t>();
    if (!t.source.is_none()) {
      const auto source = t.source.cast<std::pair<std::string, uint16_t>>();
      d.source_address = ParseAddress(source.first);
      d.source_port = source.second;
    }
    const int result = tgr_recorder_write(handle_, &d, bytes.data(), bytes.size(), destination_, port_);
    const int os_error = errno;
    if (result != TGR_OK) RaiseResult(result, tgr_recorder_error(handle_), os_error);
  }
  uint64_t Packets() const { return handle_ == nullptr ? packets_ : tgr_recorder_packets(handle_); }
  void Close() {
    if (handle_ == nullptr) return;
    packets_ = tgr_recorder_packets(handle_);
    std::array<char, kErrorSize> error{};
    const int result = tgr_recorder_close(handle_, error.data(), error.size());
    const int os_error = errno;
    handle_ = nullptr;
    if (result != TGR_OK) RaiseResult(result, ErrorWords(error), os_error);
  }

 private:
  tgr_recorder* handle_ = nullptr;
  uint32_t destination_;
  uint16_t port_;
  uint64_t packets_ = 0;
};

Telegram Decode(const py::buffer& data, const py::object& time_ns, const py::object& source) {
  const py::buffer_info info = data.request();
  if (info.ndim > 1 || (info.ndim == 1 && info.strides[0] != info.itemsize)) {
    Raise(PyExc_ValueError, "the telegram's bytes must lie together (a bytes-like object)");
  }
  Telegram t = MakeTelegram(info.ptr, static_cast<size_t>(info.size * info.itemsize));
  if (!time_ns.is_none()) {
    t.time_ns = py::int_(IntegerArgument(time_ns, "time_ns", 0, INT64_MAX, "ns since 1970"));
  }
  if (!source.is_none()) {
    const bool pair = py::isinstance<py::tuple>(source) && py::len(source) == 2;
    const py::tuple parts = pair ? py::reinterpret_borrow<py::tuple>(source) : py::tuple();
    if (!pair || !py::isinstance<py::str>(parts[0])) {
      Raise(PyExc_TypeError, "source must be an (address, port) pair, such as (\"192.168.0.10\", 2112), not " +
                                 std::string(py::repr(source)));
    }
    const std::string address = parts[0].cast<std::string>();
    ParseAddress(address);
    const int64_t port = IntegerArgument(parts[1], "source's port", 0, 65535, "a UDP port");
    t.source = py::make_tuple(address, port);
  }
  return t;
}

// A field of the telegram, read through the struct.
template <typename T>
auto Field(T tgr_telegram::*member) {
  return [member](const Telegram& t) { return t.fields.*member; };
}

}  // namespace

PYBIND11_MODULE(_tgr, m) {
  m.doc() = "The tgr library's C interface, for the tgr package.";
  cancelled_type = py::exception<std::exception>(m, "Cancelled", PyExc_Exception).release().ptr();
  m.attr("Cancelled").doc() = "A wait was cancelled (Receiver.cancel()).";
  capture_warning = PyErr_NewExceptionWithDoc("tgr.CaptureWarning",
                                              "A capture's packets were cut short: those before the cut were read.",
                                              PyExc_UserWarning, nullptr);
  if (capture_warning == nullptr) throw py::error_already_set();
  m.attr("CaptureWarning") = py::handle(capture_warning);
  m.attr("version") = tgr_version();
  m.attr("MAX_TELEGRAM_SIZE") = TGR_MAX_TELEGRAM_SIZE;
  m.attr("SOURCES_APART") = TGR_SOURCES_APART;

  py::class_<Telegram>(m, "Telegram", R"(One telegram, decoded as telegram-receiver reads it.

A field that does not lie wholly within the bytes received reads as 0, as
in the receiver's report. Made by a Receiver, a Capture, a ReportFile, or
tgr.decode().)")
      .def_property_readonly("type", Field(&tgr_telegram::type), "TelegramType.")
      .def_property_readonly("size", Field(&tgr_telegram::size), "Bytes received (0 for a block read from a report).")
      .def_property_readonly("total_size", Field(&tgr_telegram::total_size), "The header's TotalSize.")
      .def_property_readonly("header_byte4", Field(&tgr_telegram::header_byte4), "The header's byte 4.")
      .def_property_readonly("header_byte8", Field(&tgr_telegram::header_byte8), "The header's byte 8.")
      .def_property_readonly("beam_start", Field(&tgr_telegram::beam_start), "Type 1: the first beam; else 0.")
      .def_property_readonly("beam_stop", Field(&tgr_telegram::beam_stop), "Type 1: the last beam; else 0.")
      .def_property_readonly("beam_step", Field(&tgr_telegram::beam_step), "Type 1: the beam step; else 0.")
      .def_property_readonly("beam_count", Field(&tgr_telegram::beam_count),
                             "Type 1: the beam count the receiver prints; else 0.")
      .def_property_readonly("scan_no", Field(&tgr_telegram::scan_no), "Type 6: ScanNo (0 to 2**32-1); else 0.")
      .def_property_readonly("block_no", Field(&tgr_telegram::block_no), "Type 6: BlockNo; else 0.")
      .def_readonly("values", &Telegram::values, R"(Type 6: the block's 16-bit values, a numpy uint16 array; else empty.

Those below TotalSize whose two bytes were both received. A read-only view
of the telegram's own copy of its bytes: it stays valid as long as it is
referenced, even after the telegram is gone. Take .copy() to change it.)")
      .def_readonly("data", &Telegram::data, "The telegram's bytes, or None for a block read from a report.")
      .def_readonly("time_ns", &Telegram::time_ns, R"(When it arrived (live) or was captured: ns since 1970 UTC, or None.)")
      .def_readonly("kernel_time", &Telegram::kernel_time, "True if the system stamped time_ns on arrival (Linux).")
      .def_readonly("source", &Telegram::source, "(address, port) it came from, or None.")
      .def_readonly("line", &Telegram::line, "For a block read from a report: the line of its TotalSize; else None.")
      .def_readonly("cut_short", &Telegram::cut_short, "For a block read from a report: the report ends inside its values.")
      .def(
          "report",
          [](const Telegram& t, const std::string& line_ends) {
            if (t.data.is_none()) Raise(PyExc_ValueError, "a block read from a report has no telegram bytes to report");
            const std::string_view bytes = py::reinterpret_borrow<py::bytes>(t.data);
            return Report(bytes.data(), bytes.size(), LineEnds(line_ends));
          },
          py::arg("line_ends") = "receiver",
          R"(telegram-receiver's report of this telegram, as bytes, byte for byte.

line_ends: "receiver" (this platform's receiver: "\r\n" on Windows),
"lf" or "crlf".)")
      .def("__repr__", [](const Telegram& t) {
        std::string text = "<tgr.Telegram type " + std::to_string(t.fields.type);
        if (t.fields.type == TGR_TYPE_BLOCK_VALUES) {
          text += " scan " + std::to_string(t.fields.scan_no) + " block " + std::to_string(t.fields.block_no) + ", " +
                  std::to_string(t.fields.value_count) + " values";
        } else if (t.fields.type == TGR_TYPE_BEAM_RANGE) {
          text += ", " + std::to_string(t.fields.beam_count) + " beams";
        }
        return text + ">";
      });

  m.def("decode", &Decode, py::arg("data"), py::kw_only(), py::arg("time_ns") = py::none(),
        py::arg("source") = py::none(), R"(Decodes bytes into a Telegram, as telegram-receiver reads them.

Any bytes are a telegram: a short one reads as zeros. time_ns and source
(an (address, port) pair) are kept with it, for a Recorder.)");
  m.def(
      "report",
      [](const py::buffer& data, const std::string& line_ends) {
        const py::buffer_info info = data.request();
        return Report(static_cast<const char*>(info.ptr), static_cast<size_t>(info.size * info.itemsize),
                      LineEnds(line_ends));
      },
      py::arg("data"), py::arg("line_ends") = "receiver",
      "telegram-receiver's report of the telegram in `data`, as bytes, byte for byte.");

  py::class_<Receiver>(m, "Receiver", "A UDP port the telegrams arrive on; tgr.Receiver is built on it.")
      .def(py::init<const std::string&, uint16_t, int, const std::string&>(), py::arg("address"), py::arg("port"),
           py::arg("buffer_bytes"), py::arg("interface") = "",
           "Opens `port` on the local IPv4 `address` (\"\" for every one; a multicast group is joined on "
           "`interface`, \"\" for the system's choice), asking for a socket buffer of `buffer_bytes` (0: 8 MiB). "
           "OSError (with errno) if the system refuses.")
      .def_property_readonly("port", &Receiver::port, "The UDP port listened on.")
      .def_property_readonly("closed", &Receiver::closed, "True once closed.")
      .def("next", &Receiver::Next, py::arg("timeout_ms"),
           "The next telegram within `timeout_ms` (negative: no end). TimeoutError, tgr.Cancelled, OSError.")
      .def("cancel", &Receiver::Cancel, "From any thread: the wait under way ends, and every one after it.")
      .def("drops", &Receiver::Drops,
           "(dropped, system_wide): the datagrams the system dropped since the open; None where it keeps no count.")
      .def("close", &Receiver::Close, "Closes the socket; a wait under way in another thread ends.");
  py::class_<Capture>(m, "Capture", "The telegrams of a capture file; tgr.Capture is built on it.")
      .def(py::init<const std::string&, uint16_t>(), py::arg("path"), py::arg("port"),
           "Opens the capture at `path` for the datagrams bound for `port`. FileNotFoundError and the like if it "
           "cannot be opened; ValueError if it is no capture.")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &Capture::Next)
      .def("summary", &Capture::Summary, "How the packets ended, and what was read and passed over (a dict).")
      .def("counts", &Capture::Counts, "The sequence counts of the telegrams given so far (a dict).")
      .def("close", &Capture::Close, "Closes the file; the summary stays.");
  py::class_<ReportReader>(m, "ReportReader", "telegram-receiver's report read back; tgr.ReportFile is built on it.")
      .def(py::init<>())
      .def("feed", &ReportReader::Feed, py::arg("text"),
           "Reads more of the report (bytes); the blocks it completed, and the words of damage last if any.")
      .def("end", &ReportReader::End, "The report has ended: the blocks left, and the words of damage if any.")
      .def_property_readonly("telegrams", &ReportReader::Telegrams, "The report's telegrams so far, of every type.")
      .def_property_readonly("finished", &ReportReader::Finished,
                             "True if the last run ended with the receiver's closing lines.")
      .def_property_readonly("error", &ReportReader::Error, "The words of damage, or \"\".");
  py::class_<Recorder>(m, "Recorder", "A pcapng recording being written; tgr.Recorder is built on it.")
      .def(py::init<const std::string&, const std::string&, uint16_t>(), py::arg("path"), py::arg("address"),
           py::arg("port"), "Creates the file at `path`; packets go to `address` (dotted IPv4) and `port`.")
      .def("write", &Recorder::Write, py::arg("telegram"), py::arg("now_ns"),
           "Records a telegram, at its own time or `now_ns` where it has none.")
      .def_property_readonly("packets", &Recorder::Packets, "Packets recorded so far.")
      .def("close", &Recorder::Close, "Closes the file; OSError if a packet did not reach it.");
  py::class_<Sequence>(m, "Sequence", "The ScanNo/BlockNo gaps counted; tgr.Loss is made of its counts.")
      .def(py::init<>())
      .def("add", &Sequence::Add, py::arg("telegram"), "Counts one telegram.")
      .def("counts", &Sequence::Counts, "The counts so far (a dict, tgr.Loss's fields).");
}
