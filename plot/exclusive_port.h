// A listening socket's port made the plot's alone: no second program may
// listen on it beside this one, and the kernel never splits the browsers
// between two (POSIX: no SO_REUSEPORT; Windows: SO_EXCLUSIVEADDRUSE). A
// port still in TIME_WAIT from an earlier run may be taken at once again.
#ifndef PLOT_EXCLUSIVE_PORT_H_
#define PLOT_EXCLUSIVE_PORT_H_

#include <cstdint>

// `handle` is the native socket, not yet bound. 0, or an error number of
// the system's.
int MakePortExclusive(uintptr_t handle);

#endif  // PLOT_EXCLUSIVE_PORT_H_
