#include "receiver/receive_loop.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include "net/socket.h"
#include "net/udp_socket.h"
#include "receiver/lost_datagrams.h"
#include "receiver/waits.h"
#include "telegram/report_format.h"
#include "telegram/report_output.h"
#include "telegram/telegram.h"
#include "telegram/telegram_report.h"

namespace {

// Large enough that a 65,507-byte block's 32,743 values go out in one write.
const size_t kReportOutputSize = size_t{256} * 1024;

enum RunEnd { kLimitReached, kSocketFailed, kInterruptCame, kOutputFailed };

// The report's stream, written through the wait that lets interrupts in.
class StreamDestination : public ReportDestination {
 public:
  explicit StreamDestination(FILE* stream) : stream_(stream) {}
  int Write(const char* data, size_t size) override { return WriteReport(stream_, data, size); }

 private:
  FILE* stream_;
};

// How the run ends once the report output has failed: a write that an
// interrupt ended is the interrupt's end.
RunEnd OutputEnd(const ReportOutput* out) {
  return out->failure() == EINTR ? kInterruptCame : kOutputFailed;
}

// The steps that can fail, as the words on standard error name them.
enum Step { kStartingLibrary, kOpeningSocket, kBindingPort, kReceiving };

// The failure in words on standard error, beside the report's error line.
void SayFailure(FILE* err, Step step, uint16_t port, int code) {
  char cause[256];
  NetDescribeError(code, cause, sizeof cause);
  switch (step) {
    case kStartingLibrary: fprintf(err, "telegram-receiver: cannot start the socket library: %s\n", cause); break;
    case kOpeningSocket: fprintf(err, "telegram-receiver: cannot open a UDP socket: %s\n", cause); break;
    case kBindingPort:
      fprintf(err, "telegram-receiver: cannot bind UDP port %u: %s\n", static_cast<unsigned>(port), cause);
      break;
    case kReceiving: fprintf(err, "telegram-receiver: cannot receive a datagram: %s\n", cause); break;
  }
}

// Starts the socket library, opens the socket and binds it. 0, or the
// error code with the step that failed in `*failed`.
int StartSocket(uint16_t port, SocketLibrary* library, UdpSocket* socket, Step* failed) {
  int error = library->Start();
  if (error != 0) {
    *failed = kStartingLibrary;
    return error;
  }
  error = socket->Open();
  if (error != 0) {
    *failed = kOpeningSocket;
    return error;
  }
  // A smaller grant than asked, or none, still leaves a working socket.
  (void)NetSetReceiveBuffer(socket->handle(), kSocketReceiveBufferRequest);
  error = NetBindAnyAddress(socket->handle(), port);
  if (error != 0) *failed = kBindingPort;
  return error;
}

// Receives and reports datagrams until the limit, the first failure (its
// code in `*error`), or an interrupt. Datagrams lost meanwhile are said on
// `err`.
RunEnd ReceiveDatagrams(NetSocket sock, unsigned char* buffer, const ReceiverSettings& settings,
                        ReportOutput* out, LossWatch* losses, FILE* err, int* error) {
  for (int count = 0; count < settings.datagram_limit; ++count) {
    DatagramWait wait = kNoDatagramWaiting;
    *error = WaitForDatagram(sock, false, &wait);
    if (*error == 0 && wait == kNoDatagramWaiting) {
      // About to wait: let every line received so far reach the reader.
      // While datagrams are queued, keep buffering to keep up with a burst.
      out->Drain();
      if (out->failure() != 0) return OutputEnd(out);
      SayNewLosses(losses, sock, err);
      *error = WaitForDatagram(sock, true, &wait);
    }
    if (*error == 0 && wait == kInterrupted) return kInterruptCame;
    int received = 0;
    if (*error == 0) *error = NetReceive(sock, buffer, static_cast<int>(settings.buffer_size), &received);
    if (*error != 0) return kSocketFailed;
    const Telegram telegram = {buffer, static_cast<size_t>(received)};
    settings.format(telegram, out);
    if (out->failure() != 0) return OutputEnd(out);
  }
  return kLimitReached;
}

}  // namespace

ReceiverSettings DefaultReceiverSettings() {
  ReceiverSettings settings = {kReceiverPort, kReceiveBufferSize, kDatagramLimit, kLineEndsAsWritten, FormatTelegram};
  return settings;
}

int RunReceiver(const ReceiverSettings& settings, FILE* out, FILE* err) {
  // Resources are taken in the order buffer, socket library, socket, and
  // given back in the reverse order on every path.
  std::unique_ptr<unsigned char[]> buffer;
  if (settings.buffer_size <= INT_MAX) buffer.reset(new (std::nothrow) unsigned char[settings.buffer_size]);
  if (!buffer) {
    fprintf(err, "telegram-receiver: cannot obtain memory for the %lu-byte receive buffer\n",
            static_cast<unsigned long>(settings.buffer_size));
    return 1;
  }
  StreamDestination destination(out);
  ReportOutput output;
  if (!output.Open(kReportOutputSize, settings.line_ends, &destination)) {
    fprintf(err, "telegram-receiver: cannot obtain memory for the %lu-byte report buffer\n",
            static_cast<unsigned long>(kReportOutputSize));
    return 1;
  }
  // Without it an interrupt still ends the run, only without the last
  // reports; that is no reason not to receive.
  InterruptWatch interrupts;
  const int watch_error = interrupts.Start();
  if (watch_error != 0) {
    char cause[256];
    NetDescribeError(watch_error, cause, sizeof cause);
    fprintf(err, "telegram-receiver: cannot watch for interrupts (%s): an interrupt ends the run without the "
            "reports still buffered\n", cause);
  }

  // Any start-up failure is reported right after the banner, with no
  // receive attempted: on some platforms a receive on an unbound socket
  // waits for ever instead of failing.
  SocketLibrary library;
  UdpSocket socket;
  Step failed = kReceiving;
  int error = StartSocket(settings.port, &library, &socket, &failed);
  const bool bound = error == 0;
  output.Append(kBannerLine);
  RunEnd end = kSocketFailed;
  LossWatch losses = {};
  if (bound) {
    StartLossWatch(&losses, socket.handle(), kSocketReceiveBufferRequest, err);
    end = ReceiveDatagrams(socket.handle(), buffer.get(), settings, &output, &losses, err, &error);
  }
  if (end == kSocketFailed) {
    output.AppendFormatted(kErrorLineFormat, error);
    SayFailure(err, failed, settings.port, error);
  }
  if (bound) SayTotalLosses(&losses, socket.handle(), err);

  // An interrupt or a failed write gets no closing lines: the one ends the
  // report where it stands, the other has nowhere to write them.
  const bool closing_lines = end == kLimitReached || end == kSocketFailed;
  if (closing_lines) output.Append(kClosingLine);
  socket.Close();
  if (closing_lines) output.Append(kExitLine);
  library.Stop();
  buffer.reset();

  output.Drain();
  const int write_failure = output.failure();
  // A write that an interrupt ended is the interrupt's end, not a failure.
  if (end == kInterruptCame || write_failure == EINTR) return kRunInterrupted;
  if (write_failure != 0) {
    fprintf(err, "telegram-receiver: cannot write the report: %s\n", strerror(write_failure));
  }
  return end == kLimitReached && write_failure == 0 ? 0 : 1;
}
