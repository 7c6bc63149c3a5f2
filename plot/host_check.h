// Which names a request to telegram-plot --serve may come under (its Host
// header). A page on another site can point a name of its own at this
// computer (DNS rebinding) and then read the served data from the user's
// browser; it cannot make the browser send one of this computer's own
// names or addresses. So only those are answered: the loopback names, the
// address the connection came in on, the name the user served at, and any
// name the user allows by hand.
#ifndef PLOT_HOST_CHECK_H_
#define PLOT_HOST_CHECK_H_

#include <string>
#include <vector>

struct HostRules {
  // Names accepted beyond this computer's own (lowercase, no port).
  std::vector<std::string> allowed;
};

// The name part of a Host header, lowercase, its port taken off ("[::1]"
// for "[::1]:8080"); empty if it is not a host and port at all.
std::string HostName(const std::string& header);

// Whether a request whose Host header is `header` is answered, on a
// connection that came in on the local address `local_address` (as text:
// "192.168.1.5", "::1").
bool HostAllowed(const std::string& header, const std::string& local_address, const HostRules& rules);

// Whether `address` (a name or an address, as given to --serve) is this
// computer's loopback.
bool IsLoopbackAddress(const std::string& address);

#endif  // PLOT_HOST_CHECK_H_
