// Words for the Windows Sockets error numbers, the same on every platform.
#ifndef NET_SOCKET_ERROR_WORDS_H_
#define NET_SOCKET_ERROR_WORDS_H_

// "address already in use" for 10048, ...; null for a number it does not know.
const char* SocketErrorWords(int code);

#endif  // NET_SOCKET_ERROR_WORDS_H_
