#include "plot/exclusive_port.h"

#include <sys/socket.h>

#include <cerrno>

int MakePortExclusive(uintptr_t handle) {
  // SO_REUSEADDR lets a restarted plot bind while old connections linger in
  // TIME_WAIT; on Linux it never lets a second socket listen on the port.
  const int on = 1;
  return setsockopt(static_cast<int>(handle), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 ? 0 : errno;
}
