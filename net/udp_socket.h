// Owning types over the socket layer (socket.h): the socket library, started
// for as long as a SocketLibrary lives, and a UDP socket, closed by its
// destructor. Both may also be ended early, where the order of a shutdown
// calls for it; the destructor then does nothing more.
#ifndef NET_UDP_SOCKET_H_
#define NET_UDP_SOCKET_H_

#include <string>

#include "net/socket.h"

class SocketLibrary {
 public:
  SocketLibrary() = default;
  ~SocketLibrary() { Stop(); }
  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;

  // 0, or the error code.
  int Start() {
    const int error = NetStartup();
    started_ = error == 0;
    return error;
  }
  void Stop() {
    if (started_) NetCleanup();
    started_ = false;
  }

 private:
  bool started_ = false;
};

class UdpSocket {
 public:
  UdpSocket() = default;
  ~UdpSocket() { Close(); }
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;
  UdpSocket(UdpSocket&& other) noexcept : sock_(other.sock_), open_(other.open_) { other.open_ = false; }
  UdpSocket& operator=(UdpSocket&& other) noexcept {
    if (this != &other) {
      Close();
      sock_ = other.sock_;
      open_ = other.open_;
      other.open_ = false;
    }
    return *this;
  }

  // Opens an IPv4 UDP socket. 0, or the error code.
  int Open() {
    Close();
    const int error = NetOpenUdp(&sock_);
    open_ = error == 0;
    return error;
  }
  void Close() {
    if (open_) NetClose(sock_);
    open_ = false;
  }
  bool is_open() const { return open_; }
  // For the socket layer's calls; valid while it is open.
  NetSocket handle() const { return sock_; }

 private:
  NetSocket sock_ = 0;
  bool open_ = false;
};

// A multicast group joined on a socket, left when it ends. Declared after
// the socket it is on, so that it ends first.
class GroupMembership {
 public:
  GroupMembership() = default;
  ~GroupMembership() { Leave(); }
  GroupMembership(const GroupMembership&) = delete;
  GroupMembership& operator=(const GroupMembership&) = delete;

  // Joins `group` (network byte order) on the interface named (see
  // NetJoinGroup). 0, or the error code.
  int Join(const UdpSocket& socket, uint32_t group, const std::string& interface_name) {
    Leave();
    const int error = NetJoinGroup(socket.handle(), group, interface_name.c_str());
    if (error == 0) {
      sock_ = socket.handle();
      group_ = group;
      interface_ = interface_name;
      joined_ = true;
    }
    return error;
  }
  void Leave() {
    if (joined_) (void)NetLeaveGroup(sock_, group_, interface_.c_str());
    joined_ = false;
  }

 private:
  NetSocket sock_ = 0;
  uint32_t group_ = 0;
  std::string interface_;
  bool joined_ = false;
};

#endif  // NET_UDP_SOCKET_H_
