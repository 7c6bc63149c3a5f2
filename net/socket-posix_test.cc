// The POSIX socket layer's error numbers: each errno that Windows Sockets
// has a number for prints as that number, so a report reads the same
// wherever it was made.
#include <gtest/gtest.h>
#include <netdb.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "net/socket.h"
#include "net/socket-posix_testing.h"
#include "net/socket_error_words.h"

TEST(SocketErrors, EveryErrnoWithAWindowsSocketsNumberPrintsAsIt) {
  const struct {
    int platform;
    int windows;
  } table[] = {
      {EINTR, 10004},        {EACCES, 10013},          {EPERM, 10013},           {EFAULT, 10014},
      {EINVAL, 10022},       {EMFILE, 10024},          {ENFILE, 10024},          {EWOULDBLOCK, 10035},
      {EAGAIN, 10035},       {EINPROGRESS, 10036},     {EALREADY, 10037},        {ENOTSOCK, 10038},
      {EBADF, 10038},        {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},
      {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},
      {EPFNOSUPPORT, 10046}, {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},      {EADDRNOTAVAIL, 10049},
      {ENETDOWN, 10050},     {ENETUNREACH, 10051},     {ENETRESET, 10052},       {ECONNABORTED, 10053},
      {ECONNRESET, 10054},   {ECONNREFUSED, 10054},    {ENOBUFS, 10055},         {ENOMEM, 10055},
      {EISCONN, 10056},      {ENOTCONN, 10057},        {ESHUTDOWN, 10058},       {ETOOMANYREFS, 10059},
      {ETIMEDOUT, 10060},    {ELOOP, 10062},           {ENAMETOOLONG, 10063},    {EHOSTDOWN, 10064},
      {EHOSTUNREACH, 10065}, {ENOTEMPTY, 10066},       {EUSERS, 10068},          {EDQUOT, 10069},
      {ESTALE, 10070},       {EREMOTE, 10071},
  };
  for (const auto& entry : table) {
    EXPECT_EQ(NetErrorCode(entry.platform), entry.windows) << strerror(entry.platform);
  }
  // No counterpart: the errno value itself, in the system's words.
  EXPECT_EQ(NetErrorCode(ENOENT), ENOENT);
  char words[256];
  NetDescribeError(ENOENT, words, sizeof words);
  EXPECT_EQ(std::string(words), std::string(strerror(ENOENT)) + " (" + std::to_string(ENOENT) + ")");
  NetDescribeError(10053, words, sizeof words);
  EXPECT_STREQ(words, "software caused connection abort (10053)");
}

TEST(SocketErrors, EveryWindowsSocketsNumberItGivesHasWords) {
  // A number without words would be said as a bare errno text of another
  // error, or as "?"; every errno the system has is tried.
  for (int platform = 1; platform < 256; ++platform) {
    const int code = NetErrorCode(platform);
    if (code == platform) continue;  // no Windows Sockets number: said in the system's words
    EXPECT_NE(SocketErrorWords(code), nullptr) << strerror(platform) << " gives " << code << ", which has no words";
  }
}

TEST(SocketErrors, NoDescriptorLeftForASocketIsTooManyOpenSockets) {
  rlimit saved = {};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = 32;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<NetSocket> open;
  int error = 0;
  while (error == 0 && open.size() < 64) {
    NetSocket sock = 0;
    error = NetOpenUdp(&sock);
    if (error == 0) open.push_back(sock);
  }
  for (NetSocket sock : open) NetClose(sock);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  EXPECT_EQ(error, 10024);
  char words[128];
  NetDescribeError(error, words, sizeof words);
  EXPECT_STREQ(words, "too many open sockets (10024)");
}

// Linux grants twice what is asked for, half of it for its bookkeeping: the
// size read back is halved to the bytes asked for, so that the loss line
// gives the real numbers and says when to raise the limit.
TEST(SocketLayer, TheReceiveBufferReadsBackAsItWasAskedFor) {
  NetSocket sock = 0;
  ASSERT_EQ(NetOpenUdp(&sock), 0);
  // Below the smallest default limit, so that it is granted as asked.
  ASSERT_EQ(NetSetReceiveBuffer(sock, 60000), 0);
  int bytes = 0;
  int as_asked = 0;
  ASSERT_EQ(NetReadReceiveBuffer(sock, &bytes, &as_asked), 0);
  NetClose(sock);
  EXPECT_EQ(bytes, 120000);
  EXPECT_EQ(as_asked, 60000);
}

// The numbers a failed look-up prints as, those of Windows Sockets.
TEST(SocketErrors, EachLookUpFailureHasItsWindowsSocketsNumber) {
  const struct {
    int status;
    int windows;
  } table[] = {
      {EAI_NONAME, 11001}, {EAI_AGAIN, 11002},   {EAI_FAIL, 11003},  {EAI_FAMILY, 10047},
      {EAI_SOCKTYPE, 10044}, {EAI_MEMORY, 10055}, {EAI_SERVICE, 10022},
  };
  for (const auto& entry : table) EXPECT_EQ(ResolveErrorCode(entry.status), entry.windows) << gai_strerror(entry.status);
  errno = EMFILE;
  EXPECT_EQ(ResolveErrorCode(EAI_SYSTEM), 10024) << "the system's own failure, by its errno";
}

namespace {

// A send queue that is full for the first `busy` calls, with `busy_errno`,
// and then takes the datagram; or fails for good with `final_errno`.
int calls = 0;
int busy = 0;
int busy_errno = 0;
int final_errno = 0;
ssize_t ScriptedSendTo(int /*fd*/, const void* /*bytes*/, size_t length, int /*flags*/, const sockaddr* /*to*/,
                       socklen_t /*to_length*/) {
  ++calls;
  if (calls <= busy) {
    errno = busy_errno;
    return -1;
  }
  if (final_errno != 0) {
    errno = final_errno;
    return -1;
  }
  return static_cast<ssize_t>(length);
}

}  // namespace

// A full send queue is waited out, never taken for a failure; any other
// failure is said at once.
TEST(SocketSend, AFullQueueIsWaitedOutAndAFailureSaid) {
  SetSendToCallForTesting(ScriptedSendTo);
  const unsigned char datagram[4] = {1, 2, 3, 4};
  for (int errno_value : {ENOBUFS, EAGAIN, EINTR}) {
    calls = 0;
    busy = 3;
    busy_errno = errno_value;
    final_errno = 0;
    EXPECT_EQ(NetSendTo(0, 0x0100007F, 9999, datagram, sizeof datagram), 0) << strerror(errno_value);
    EXPECT_EQ(calls, 4) << strerror(errno_value);
  }
  calls = 0;
  busy = 0;
  final_errno = EMSGSIZE;
  EXPECT_EQ(NetSendTo(0, 0x0100007F, 9999, datagram, sizeof datagram), 10040);
  EXPECT_EQ(calls, 1);
  SetSendToCallForTesting(nullptr);
}
