#include "plot/exclusive_port.h"

#include <winsock2.h>

int MakePortExclusive(uintptr_t handle) {
  // Without it, another program could bind the same port with SO_REUSEADDR
  // and take over some of the connections.
  const BOOL on = TRUE;
  return setsockopt(static_cast<SOCKET>(handle), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
                    sizeof on) == 0
             ? 0
             : WSAGetLastError();
}
