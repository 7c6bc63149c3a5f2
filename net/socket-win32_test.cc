// The Windows socket layer's error numbers: a system error from a call
// under the socket layer (the IP Helper, an event) is handed out as a
// Windows Sockets number, so that the report's error line never shows a
// number of another kind.
#include <gtest/gtest.h>
#include <winsock2.h>

#include "net/socket.h"

TEST(SocketErrors, SystemErrorsBecomeWindowsSocketsNumbers) {
  EXPECT_EQ(NetErrorCode(WSAEADDRINUSE), 10048) << "a Windows Sockets number stays as it is";
  EXPECT_EQ(NetErrorCode(WSA_INVALID_HANDLE), 6) << "the system code Windows Sockets reports itself";
  EXPECT_EQ(NetErrorCode(ERROR_NOT_SUPPORTED), 10045);
  EXPECT_EQ(NetErrorCode(ERROR_OUTOFMEMORY), WSA_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(NetErrorCode(ERROR_ACCESS_DENIED), 10107);
  char words[256];
  NetDescribeError(NetErrorCode(ERROR_ACCESS_DENIED), words, sizeof words);
  EXPECT_STREQ(words, "system call failure (10107)");
}
