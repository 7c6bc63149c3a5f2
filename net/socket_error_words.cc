#include "net/socket_error_words.h"

namespace {

struct ErrorWords {
  int code;
  const char* words;
};

// The meanings Windows Sockets gives its numbers.
const ErrorWords kWords[] = {
    {10004, "interrupted function call"},
    {10013, "permission denied"},
    {10014, "bad address"},
    {10022, "invalid argument"},
    {10024, "too many open sockets"},
    {10035, "resource temporarily unavailable"},
    {10036, "operation now in progress"},
    {10037, "operation already in progress"},
    {10038, "not a socket"},
    {10039, "destination address required"},
    {10040, "message too long"},
    {10041, "protocol wrong type for socket"},
    {10042, "bad protocol option"},
    {10043, "protocol not supported"},
    {10044, "socket type not supported"},
    {10045, "operation not supported"},
    {10046, "protocol family not supported"},
    {10047, "address family not supported by protocol family"},
    {10048, "address already in use"},
    {10049, "cannot assign requested address"},
    {10050, "network is down"},
    {10051, "network is unreachable"},
    {10052, "network dropped connection on reset"},
    {10053, "software caused connection abort"},
    {10054, "connection reset by peer"},
    {10055, "no buffer space available"},
    {10056, "socket is already connected"},
    {10057, "socket is not connected"},
    {10058, "cannot send after socket shutdown"},
    {10059, "too many references"},
    {10060, "connection timed out"},
    {10061, "connection refused"},
    {10062, "cannot translate name"},
    {10063, "name too long"},
    {10064, "host is down"},
    {10065, "no route to host"},
    {10066, "directory not empty"},
    {10067, "too many processes"},
    {10068, "user quota exceeded"},
    {10069, "disk quota exceeded"},
    {10070, "stale file handle reference"},
    {10071, "item is remote"},
    {10091, "network subsystem is unavailable"},
    {10092, "Windows Sockets version out of range"},
    {10093, "Windows Sockets not yet started"},
    {10107, "system call failure"},
    {11001, "no such host is known"},
    {11002, "temporary failure in name resolution"},
    {11003, "non-recoverable failure in name resolution"},
    {11004, "no address of the requested type"},
};

}  // namespace

const char* SocketErrorWords(int code) {
  for (const ErrorWords& entry : kWords) {
    if (entry.code == code) return entry.words;
  }
  return nullptr;
}
