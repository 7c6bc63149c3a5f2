#include "receiver/lost_datagrams.h"

namespace {

// Takes a new look at the count, `fresh` at the end; false if it cannot be
// had.
bool Look(LossWatch* watch, NetSocket sock, bool fresh) {
  uint32_t now = 0;
  DropCountScope scope = kDropsOfThisSocket;
  if (!watch->counting || NetReadDropCount(sock, fresh, &now, &scope) != 0) return false;
  watch->seen += static_cast<uint32_t>(now - watch->last);  // the count wraps at 2^32
  watch->last = now;
  return true;
}

}  // namespace

void StartLossWatch(LossWatch* watch, NetSocket sock, int buffer_request, FILE* err) {
  *watch = LossWatch{false, kDropsOfThisSocket, 0, 0, 0, 0, 0, buffer_request};
  if (NetReadReceiveBuffer(sock, &watch->buffer_bytes, &watch->buffer_as_asked) != 0) {
    watch->buffer_bytes = 0;
    watch->buffer_as_asked = 0;
  }
  const int error = NetReadDropCount(sock, true, &watch->last, &watch->scope);
  if (error == 0) {
    watch->counting = true;
    return;
  }
  char cause[256];
  NetDescribeError(error, cause, sizeof cause);
  fprintf(err,
          "telegram-receiver: this system gives no count of dropped datagrams (%s), so telegrams lost for want of "
          "room cannot be reported\n",
          cause);
}

void SayNewLosses(LossWatch* watch, NetSocket sock, FILE* err) {
  if (!Look(watch, sock, false) || watch->seen == watch->said) return;
  const unsigned long long lost = watch->seen - watch->said;
  const unsigned long long in_all = watch->seen;
  watch->said = watch->seen;
  if (watch->scope == kDropsOfTheSystem) {
    fprintf(err,
            "telegram-receiver: the system could not deliver %llu UDP datagrams that reached this computer (%llu in "
            "all since the start): a full receive buffer is one cause, but the count is every program's, not this "
            "one's alone\n",
            lost, in_all);
    return;
  }
  // The buffer in the bytes that were asked for, and as the system counts
  // them where that differs (Linux doubles them, for its bookkeeping).
  char buffer[96];
  if (watch->buffer_bytes != watch->buffer_as_asked) {
    snprintf(buffer, sizeof buffer, "%d bytes (%d as the system counts them, with its bookkeeping)",
             watch->buffer_as_asked, watch->buffer_bytes);
  } else {
    snprintf(buffer, sizeof buffer, "%d bytes", watch->buffer_as_asked);
  }
  if (watch->buffer_as_asked < watch->buffer_request) {
    fprintf(err,
            "telegram-receiver: lost %llu datagrams (%llu in all): the socket's receive buffer was full: it was "
            "granted %s of the %d asked for; raise the limit with sysctl -w net.core.rmem_max=%d (see the README)\n",
            lost, in_all, buffer, watch->buffer_request, watch->buffer_request);
  } else {
    fprintf(err,
            "telegram-receiver: lost %llu datagrams (%llu in all): the socket's receive buffer of %s was full while "
            "the report's reader held the receiver up\n",
            lost, in_all, buffer);
  }
}

void SayTotalLosses(LossWatch* watch, NetSocket sock, FILE* err) {
  Look(watch, sock, true);
  if (!watch->counting || watch->seen == 0) return;
  const unsigned long long in_all = watch->seen;
  if (watch->scope == kDropsOfTheSystem) {
    fprintf(err,
            "telegram-receiver: in all, the system could not deliver %llu UDP datagrams during the run (every "
            "program's, not this one's alone)\n",
            in_all);
  } else {
    fprintf(err, "telegram-receiver: lost %llu datagrams in all\n", in_all);
  }
}
