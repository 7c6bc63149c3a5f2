/* tgr: the scanner's telegrams, decoded, reported and counted.
 *
 * The C interface of the library that telegram-receiver is built on. Plain
 * types and opaque handles only, so that any language and any compiler can
 * call it: a DLL made by MinGW serves MSVC, C#, MATLAB or Python alike.
 *
 * Conventions:
 * - Every name starts with tgr_ (functions, types) or TGR_ (constants).
 * - A call that can fail returns an int: TGR_OK (0), or one of the
 *   TGR_E... codes; tgr_strerror() has words for each. Where the system
 *   refused (TGR_E_FILE, TGR_E_SOCKET), its own error number is left in
 *   errno (ENOENT, EACCES, EADDRINUSE, ...; for a socket on Windows, the
 *   Windows Sockets number WSAGetLastError gives).
 * - Handles: every handle is made by its tgr_X_open(..., tgr_X** out,
 *   char* error, size_t error_size) and ended by its tgr_X_close(handle,
 *   error, error_size), which frees it whatever it returns. An open that
 *   fails leaves *out NULL and its words in `error` (error_size bytes,
 *   NUL-terminated; it may be NULL); a close says in `error` why it failed,
 *   where it can. Nothing is allocated by one side and freed by the other;
 *   text goes into buffers the caller owns.
 * - Structs the library fills or reads begin with `struct_size`, which the
 *   caller sets to the sizeof the struct it was built with before the call
 *   (C99: `tgr_datagram d = {.struct_size = sizeof d};`). The library
 *   fills no more than that and reads no more than that, so that a later
 *   version can add fields at their end without breaking a program built
 *   against an earlier one; a struct_size below this version's first
 *   layout is TGR_E_ARGUMENT. Fields the library does not know are zeroed.
 * - A handle is used by one thread at a time; different handles are
 *   independent. The library keeps no state of its own between calls.
 * - Telegrams are read as the receiver reads them: fields little-endian,
 *   and a field that does not lie wholly within the bytes received reads
 *   as 0. Nothing is read past the `size` bytes given.
 */
#ifndef TGR_TGR_H_
#define TGR_TGR_H_

#include <stddef.h>
#include <stdint.h>

#include "tgr/tgr_version.h"

#if defined(_WIN32) && defined(TGR_BUILDING)
#define TGR_API __declspec(dllexport)
#elif defined(_WIN32) && defined(TGR_SHARED)
#define TGR_API __declspec(dllimport)
#elif defined(__GNUC__) && defined(TGR_BUILDING)
#define TGR_API __attribute__((visibility("default")))
#else
#define TGR_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Versions. The headers' are TGR_VERSION_STRING and TGR_VERSION_NUMBER
 * (tgr_version.h: MAJOR * 1000000 + MINOR * 1000 + PATCH, so that versions
 * compare as numbers); the library in use gives its own, which may be
 * newer: within one major version the interface only grows. A program that
 * needs what its headers have checks at run time that
 * tgr_version_number() >= TGR_VERSION_NUMBER. */

/* "MAJOR.MINOR.PATCH" of the library in use; a static string. */
TGR_API const char* tgr_version(void);
/* The library's version as a number to compare with TGR_VERSION_NUMBER. */
TGR_API int tgr_version_number(void);

/* Results. */
#define TGR_OK 0
#define TGR_E_ARGUMENT 1 /* a null pointer, a struct_size too small, or a value out of its range */
#define TGR_E_SPACE 2    /* the buffer given is too small; the size needed is said */
#define TGR_E_MEMORY 3   /* memory could not be had; a capture or report reader that says so mid-reading
                          * says so from then on (its state is unsure): close it */
#define TGR_E_TIMEOUT 4  /* nothing came within the time given */
#define TGR_E_CANCELLED 5 /* the wait was cancelled (tgr_receiver_cancel) */
#define TGR_E_SOCKET 6   /* the system refused a socket call: the words say why, errno says which */
#define TGR_E_UNSUPPORTED 7 /* this system cannot do what was asked */
#define TGR_E_FILE 8     /* a file could not be opened, read, written or closed: the words say why, errno which */
#define TGR_E_END 9      /* nothing more: the capture's packets are over (its summary says how they ended) */
#define TGR_E_DAMAGED 10 /* the input is not what it should be (or no capture at all): the words say where */

/* Words for a result code, one line, no line end; a static string. */
TGR_API const char* tgr_strerror(int code);

/* The telegram types the report decodes further than its type line. */
#define TGR_TYPE_BEAM_RANGE 1
#define TGR_TYPE_BLOCK_VALUES 6

/* The longest telegram: the most an IPv4 UDP datagram carries. */
#define TGR_MAX_TELEGRAM_SIZE 65507

/* One telegram's fields, as the receiver reads them. */
typedef struct tgr_telegram {
  size_t struct_size;   /* set by the caller: sizeof(tgr_telegram) */
  size_t size;          /* bytes received */
  uint32_t total_size;  /* the header's TotalSize */
  uint8_t header_byte4; /* the header's bytes 4 and 8 */
  uint8_t header_byte8;
  uint16_t type;        /* TelegramType */
  /* Type 1: the beam range, and the beam count the receiver prints
   * (ceil((stop - start) / step) + 1, 0 for a step of 0). 0 otherwise. */
  uint16_t beam_start;
  uint16_t beam_stop;
  uint16_t beam_step;
  int32_t beam_count;
  /* Type 6: the block's numbers, and its 16-bit values: those below
   * TotalSize whose two bytes were both received. 0 otherwise. */
  uint16_t block_no;
  uint32_t scan_no;
  size_t value_count;
  /* The first value's two bytes (little-endian pairs) within the bytes
   * decoded, or NULL: valid as long as those bytes are. */
  const uint8_t* values;
} tgr_telegram;

/* Decodes the `size` bytes at `bytes` into `*out` (its struct_size set).
 * Any bytes are a telegram (a short one reads as zeros); TGR_E_ARGUMENT
 * only for null pointers (`bytes` may be null when `size` is 0) or a
 * struct_size too small. */
TGR_API int tgr_decode(const void* bytes, size_t size, tgr_telegram* out);

/* Copies values `first` onward of a decoded telegram into `out`, at most
 * `capacity`; returns how many were copied. */
TGR_API size_t tgr_values(const tgr_telegram* telegram, size_t first, uint16_t* out, size_t capacity);

/* How each "\n" of the report's lines is written. Into a C text stream
 * (stdout as it is), take TGR_LINE_ENDS_AS_WRITTEN on every platform: the
 * stream then writes the line ends as the receiver's own stream does. Into
 * a binary stream or a file of your own, TGR_LINE_ENDS_RECEIVER gives the
 * receiver's bytes on this platform. */
#define TGR_LINE_ENDS_AS_WRITTEN 0 /* as the receiver writes on Linux */
#define TGR_LINE_ENDS_CRLF 1       /* "\r\n", as the receiver's Windows text stream writes */
/* The receiver's own on this platform. */
#if defined(_WIN32)
#define TGR_LINE_ENDS_RECEIVER TGR_LINE_ENDS_CRLF
#else
#define TGR_LINE_ENDS_RECEIVER TGR_LINE_ENDS_AS_WRITTEN
#endif

/* The receiver's report of one telegram, byte for byte: its type line and
 * what its type adds. Writes it to `out` (no terminating NUL) and its
 * length to `*length`. If `capacity` is too small, nothing is written,
 * `*length` is the size needed, and the result is TGR_E_SPACE;
 * TGR_REPORT_MAX_SIZE is always enough. */
#define TGR_REPORT_MAX_SIZE (3u * 128u + 6u * 32743u)
TGR_API int tgr_report(const void* bytes, size_t size, int line_ends, char* out, size_t capacity, size_t* length);
/* A capacity with which tgr_report formats the report of these bytes in
 * one pass straight into `out`, with either line ends: never less than the
 * report, at most TGR_REPORT_MAX_SIZE + 512. With less (but enough),
 * tgr_report formats in pieces and copies them. */
TGR_API size_t tgr_report_bound(const void* bytes, size_t size);

/* Sequence: the telegrams' ScanNo and BlockNo, counted for gaps, repeats
 * and reordering. docs/library.md gives the rule of each count; in short:
 * - Certain, as far as the numbering goes (a scan's blocks numbered from 0
 *   without gaps, scans numbered up by one): `missing_blocks`, block
 *   numbers below the highest one seen in a scan that did not come;
 *   `missing_scans`, scan numbers skipped between two that came.
 * - Inferred: `missing_tail_blocks`, blocks above the highest one seen in
 *   a scan, up to the highest block number that two scans reached.
 * - A jump in the numbering (a scan number more than one ahead of the
 *   newest, or further back than the last 64 scans) is taken only once a
 *   later telegram confirms it: a telegram near it that is not a copy of
 *   it. Until then it counts in `outliers` alone; one that no telegram
 *   confirms within 16 telegrams after it stays there for good (a stale
 *   copy, a stray number, a flipped bit). A block number more than 64 above
 *   any its run had is such a jump too. A
 *   confirmed jump forward claims the scans skipped; one back is a restart.
 *   A numbering that comes back after a jump (two runs interleaved, as two
 *   scanners on one port) takes back what the jump claimed: each run is
 *   counted apart, four at most.
 * A late telegram that fills a gap takes it back off the count while its
 * scan is in view (the last 64 scans of its run). So counts may go down as
 * well as up while a run goes on. */
typedef struct tgr_sequence_counts {
  size_t struct_size;           /* set by the caller: sizeof(tgr_sequence_counts) */
  uint64_t telegrams;           /* every telegram given to the counter, of any type */
  uint64_t block_telegrams;     /* of them, the type-6 telegrams counted */
  uint64_t missing_blocks;
  uint64_t missing_scans;
  uint64_t missing_tail_blocks; /* inferred */
  uint64_t repeated;            /* a scan's block that came again */
  uint64_t reordered;           /* one that came after a later one of its scan, or after a later scan */
  uint64_t restarts;            /* confirmed jumps back: a new run, nothing claimed across it */
  uint64_t outliers;            /* type-6 telegrams whose jump no later telegram confirmed (yet) */
} tgr_sequence_counts;

typedef struct tgr_sequence tgr_sequence;

/* A new counter, all counts 0. */
TGR_API int tgr_sequence_open(tgr_sequence** sequence, char* error, size_t error_size);
/* Frees it; always TGR_OK. NULL is passed over. */
TGR_API int tgr_sequence_close(tgr_sequence* sequence, char* error, size_t error_size);
/* Counts one telegram; other types than 6 are counted in `telegrams` alone.
 * Counting never allocates: the counter's memory (2 MB) is had at its open. */
TGR_API int tgr_sequence_add(tgr_sequence* sequence, const tgr_telegram* telegram);
/* The counts so far. The tail of each run's newest scan is not yet counted
 * (more of it may come), nor is a jump not yet confirmed. */
TGR_API int tgr_sequence_counts_get(const tgr_sequence* sequence, tgr_sequence_counts* counts);

/* The sequence counted for each source apart (its IPv4 address and UDP
 * port), so that several scanners sending to one port are several
 * numberings, never each other's gaps. Bounded: the first `most_apart`
 * sources are counted each apart (each counter's 2 MB had when its source
 * first comes), any later ones together, as one more entry. */
typedef struct tgr_source_sequence tgr_source_sequence;

/* The sources counted apart, unless the caller says otherwise; and the most. */
#define TGR_SOURCES_APART 16
#define TGR_MOST_SOURCES_APART 256

/* One entry's source and what came from it. */
typedef struct tgr_source_counts {
  size_t struct_size; /* set by the caller: sizeof(tgr_source_counts) */
  uint32_t address;   /* host order: 127.0.0.1 is 0x7F000001; 0 for the others together, and the totals */
  uint16_t port;
  int others;         /* 1: the sources beyond the bound, counted together */
  uint64_t sources;   /* how many sources the counts are of */
  int at_least;       /* more sources came than could be told apart: `sources` is a lower bound */
  uint64_t telegrams;
  uint64_t bytes;     /* the telegrams' sizes (tgr_telegram.size), added up */
} tgr_source_counts;

/* A new counter of sources, none yet: `most_apart` from 1 to
 * TGR_MOST_SOURCES_APART, or 0 for TGR_SOURCES_APART; TGR_E_ARGUMENT beyond. */
TGR_API int tgr_source_sequence_open(size_t most_apart, tgr_source_sequence** sequence, char* error,
                                     size_t error_size);
/* Frees it; always TGR_OK. NULL is passed over. */
TGR_API int tgr_source_sequence_close(tgr_source_sequence* sequence, char* error, size_t error_size);
/* Counts one telegram from `address`:`port`. TGR_E_MEMORY if a new source's
 * counter could not be had: the telegram is then counted with the others
 * (and, if theirs could not be had either, in telegrams and bytes alone). */
TGR_API int tgr_source_sequence_add(tgr_source_sequence* sequence, uint32_t address, uint16_t port,
                                    const tgr_telegram* telegram);
/* The entries so far: each source apart, in the order its first telegram
 * came, then the others together, if any came. */
TGR_API size_t tgr_source_sequence_entries(const tgr_source_sequence* sequence);
/* Entry `index`: its source into `*source`, its sequence into `*counts`
 * (both sized by the caller); TGR_E_ARGUMENT for an index beyond them. */
TGR_API int tgr_source_sequence_get(const tgr_source_sequence* sequence, size_t index, tgr_source_counts* source,
                                    tgr_sequence_counts* counts);
/* Every entry added up: `sources` is every source seen. */
TGR_API int tgr_source_sequence_totals(const tgr_source_sequence* sequence, tgr_source_counts* source,
                                       tgr_sequence_counts* counts);

/* Receive: telegrams as they arrive on a UDP port. */
typedef struct tgr_receiver tgr_receiver;

/* One datagram received, and where and when it came from. */
typedef struct tgr_datagram {
  size_t struct_size;      /* set by the caller: sizeof(tgr_datagram) */
  size_t size;             /* bytes put in the buffer */
  int truncated;           /* 1: the datagram was longer than the buffer */
  int64_t time_ns;         /* when it arrived: ns since 1970-01-01 UTC (Windows: its clock's 100 ns steps) */
  int kernel_time;         /* 1: stamped by the system on arrival (Linux); 0: read as it was taken */
  uint32_t source_address; /* IPv4, in host order: 127.0.0.1 is 0x7F000001 */
  uint16_t source_port;
} tgr_datagram;

/* The socket receive buffer tgr_receiver_open asks for when given 0. */
#define TGR_RECEIVE_BUFFER_DEFAULT (8 * 1024 * 1024)

/* Opens UDP `port` (0: one the system chooses; tgr_receiver_port tells
 * it) on the local IPv4 `address` (dotted, or a host name; NULL or "": every
 * local IPv4 address), asking for a socket receive buffer of `buffer_bytes`
 * (0: TGR_RECEIVE_BUFFER_DEFAULT; the system may grant less).
 * An `address` that is a multicast group (224.0.0.0 to 239.255.255.255)
 * is joined on the system's default interface (tgr_receiver_open_with
 * names one) and left at the close. Its port is then shared
 * (SO_REUSEADDR): every receiver of the group on this computer, in this
 * program or another, gets each datagram. A unicast port stays one
 * receiver's. */
TGR_API int tgr_receiver_open(const char* address, uint16_t port, int buffer_bytes, tgr_receiver** receiver,
                              char* error, size_t error_size);
/* What tgr_receiver_open_with takes beside the address and port. A field
 * left 0 (or NULL) is tgr_receiver_open's default. */
typedef struct tgr_receiver_options {
  size_t struct_size;         /* set by the caller: sizeof(tgr_receiver_options) */
  int buffer_bytes;           /* as tgr_receiver_open's */
  const char* interface_name; /* the interface a multicast group is joined on: its IPv4 address, or on Linux
                                 its name ("eth0"); NULL or "": the system's choice. TGR_E_ARGUMENT with an
                                 address that is no group. */
} tgr_receiver_options;
/* tgr_receiver_open with options; NULL `options` are the defaults. */
TGR_API int tgr_receiver_open_with(const char* address, uint16_t port, const tgr_receiver_options* options,
                                   tgr_receiver** receiver, char* error, size_t error_size);
/* Closes the socket and frees the handle; always TGR_OK. NULL is passed
 * over. No wait may be under way. */
TGR_API int tgr_receiver_close(tgr_receiver* receiver, char* error, size_t error_size);
/* The port the receiver is bound to. */
TGR_API uint16_t tgr_receiver_port(const tgr_receiver* receiver);
/* 1 if the receiver's address is a multicast group it joined, else 0. */
TGR_API int tgr_receiver_multicast(const tgr_receiver* receiver);
/* The next datagram into `buffer` (TGR_MAX_TELEGRAM_SIZE bytes hold any
 * telegram), waiting up to `timeout_ms` (negative: without end; 0: only
 * what is already there). TGR_OK with `*datagram` filled; TGR_E_TIMEOUT;
 * TGR_E_CANCELLED; or TGR_E_SOCKET, with words in tgr_receiver_error. */
TGR_API int tgr_receiver_next(tgr_receiver* receiver, int timeout_ms, void* buffer, size_t capacity,
                              tgr_datagram* datagram);
/* From any thread: the wait under way, and every one after it, end at once
 * with TGR_E_CANCELLED. The one call that may be made beside another.
 * A cancel is for good: the receiver never waits again. It still gives the
 * datagrams already waiting in its socket, so that a program that stops
 * takes what came before it stopped: tgr_receiver_next gives them one by
 * one, then TGR_E_CANCELLED. To receive again, open a new receiver. */
TGR_API int tgr_receiver_cancel(tgr_receiver* receiver);
/* The datagrams the system dropped since the receiver opened, for want of
 * room in the socket's buffer. `*system_wide` is 0 where the count is this
 * socket's own (Linux), 1 where it counts every UDP datagram the system
 * could not deliver (Windows). TGR_E_UNSUPPORTED where there is no count. */
TGR_API int tgr_receiver_drops(tgr_receiver* receiver, uint64_t* dropped, int* system_wide);
/* The address the last datagram taken was sent to (host order), for a
 * recording's IPv4 header: its own header's where the system says it
 * (Linux), else the address the receiver is bound to (0: every address).
 * 0 before the first datagram, or without a receiver. */
TGR_API uint32_t tgr_receiver_destination(const tgr_receiver* receiver);
/* Words for the last failure of a call on this handle; valid until the
 * next call on it. */
TGR_API const char* tgr_receiver_error(const tgr_receiver* receiver);

/* Record: datagrams into a pcapng file, as they come. The file holds one
 * interface of raw IPv4 packets with times in nanoseconds; each datagram
 * becomes an IPv4/UDP packet from its source to the destination given (the
 * UDP checksum left 0, "none", as IPv4 allows). Each packet is written whole
 * and flushed before the call returns; a write that fails (a full disk) is
 * cut back off the file, so that the file always ends after a whole packet
 * and every tool reads it to its last one. The packet analyser opens it,
 * and telegram-sender --replay sends it again. */
typedef struct tgr_recorder tgr_recorder;

/* Creates (or empties) the file at `path` and writes its headers: a file
 * whose headers could not be written whole (a full disk) is removed. */
TGR_API int tgr_recorder_open(const char* path, tgr_recorder** recorder, char* error, size_t error_size);
/* Records `size` bytes received as `*datagram` says (its time_ns and
 * source), sent to `destination_address` (host order) and port.
 * TGR_E_ARGUMENT for more bytes than an IPv4 UDP datagram carries, or a
 * time before 1970 (nothing written; the recorder goes on). TGR_E_FILE if
 * the file could not take it: the packet is cut back off, and nothing more
 * is written. */
TGR_API int tgr_recorder_write(tgr_recorder* recorder, const tgr_datagram* datagram, const void* bytes, size_t size,
                               uint32_t destination_address, uint16_t destination_port);
/* The packets recorded so far, and the file's bytes. */
TGR_API uint64_t tgr_recorder_packets(const tgr_recorder* recorder);
TGR_API uint64_t tgr_recorder_bytes(const tgr_recorder* recorder);
/* Closes the file and frees the handle: TGR_OK if every packet reached the
 * file, else TGR_E_FILE with the words in `error` (also after a write that
 * failed). */
TGR_API int tgr_recorder_close(tgr_recorder* recorder, char* error, size_t error_size);
/* Words for the last failure of a call on this handle. */
TGR_API const char* tgr_recorder_error(const tgr_recorder* recorder);

/* Read captures: the UDP datagrams bound for one port in a pcap or pcapng
 * file (either byte order; micro- or nanosecond times; Ethernet with VLAN
 * tags, Linux cooked, loopback and raw IP), IP fragments put together again
 * within bounds, as telegram-sender --replay reads them. The file is read
 * as it goes, in memory that does not grow with it; every length is
 * checked before use. */
typedef struct tgr_capture tgr_capture;

/* How a capture's packets ended. */
#define TGR_CAPTURE_READING 0   /* not yet */
#define TGR_CAPTURE_WHOLE 1     /* at the end of the file, after a whole packet */
#define TGR_CAPTURE_CUT_SHORT 2 /* inside a packet: a capture stopped hard; those before it are whole */
#define TGR_CAPTURE_DAMAGED 3   /* wrong before its end: tgr_capture_error says where */

typedef struct tgr_capture_summary {
  size_t struct_size;  /* set by the caller: sizeof(tgr_capture_summary) */
  int end;             /* TGR_CAPTURE_... */
  uint64_t end_offset; /* the byte where the packets ended */
  uint64_t packets;    /* read from the file */
  uint64_t taken;      /* datagrams bound for the port, given */
  uint64_t not_udp;    /* packets that carry no UDP over IPv4 */
  uint64_t other_port; /* datagrams bound for another port */
  uint64_t incomplete; /* datagrams some of whose IP fragments are not in the capture */
  uint64_t cut_short;  /* datagrams cut short by the capture's snap length */
  uint64_t conflicting; /* datagrams whose IP fragments overlap and disagree */
  uint16_t first_other_port; /* the port the first datagram bound for another port went to; 0: none */
} tgr_capture_summary;

/* Opens the capture at `path` for the datagrams bound for `port`, and
 * reads its file header: TGR_E_FILE for a file that cannot be opened (a
 * missing file: errno ENOENT); TGR_E_DAMAGED, with "PATH: not a capture
 * file: ..." in `error`, for one that is no capture (a directory, an empty
 * file, another format) or whose header is damaged. A capture is read from
 * a file: a pipe or a device is refused at open, never waited on. */
TGR_API int tgr_capture_open(const char* path, uint16_t port, tgr_capture** capture, char* error,
                             size_t error_size);
/* The next datagram: TGR_OK with `*bytes` (valid until the next call on the
 * handle) and `*datagram` (its size, its source, and in time_ns its time in
 * the capture, ns since 1970, or -1 where the capture gives none;
 * kernel_time 0); TGR_E_END once the packets are over, however they ended
 * (see tgr_capture_summary_get). */
TGR_API int tgr_capture_next(tgr_capture* capture, const void** bytes, tgr_datagram* datagram);
/* The time of the datagram the last tgr_capture_next gave, whole, as the
 * capture gives it: seconds since 1970 and the nanoseconds within, also
 * where time_ns cannot hold it (beyond 2262). TGR_OK, or TGR_E_END if that
 * datagram has no time or there is none. */
TGR_API int tgr_capture_time(const tgr_capture* capture, uint64_t* seconds, uint32_t* nanoseconds);
TGR_API int tgr_capture_summary_get(const tgr_capture* capture, tgr_capture_summary* summary);
/* Words for how the packets ended, if not whole, with the byte where:
 * "cut short at byte N (what was left)" or "damaged: what (at byte N)";
 * "" while reading or when whole. */
TGR_API const char* tgr_capture_error(const tgr_capture* capture);
/* Closes the file and frees the handle; always TGR_OK. NULL is passed over. */
TGR_API int tgr_capture_close(tgr_capture* capture, char* error, size_t error_size);

/* Read reports: the receiver's report read back, as it is written (pieces
 * of any size, either platform's line ends), to the blocks whose values it
 * lists (blocks 0 and 1 of type-6 telegrams). Every line is checked against
 * the report's formats; the first that is not right ends the reading with
 * TGR_E_DAMAGED and words that name the line. */
typedef struct tgr_report_reader tgr_report_reader;

/* One block of values of the report, as printed. */
typedef struct tgr_report_block {
  size_t struct_size;   /* set by the caller: sizeof(tgr_report_block) */
  uint64_t line;        /* the report line of its TotalSize line, from 1 */
  uint64_t telegram;    /* its place among the report's telegrams, from 1 */
  int64_t size;         /* TotalSize - 20, as printed (negative below 20) */
  int64_t scan_no;      /* as printed: negative from 2^31 on */
  uint16_t block_no;
  int cut_short;        /* 1: the report ends inside its values */
  size_t value_count;
  const uint16_t* values; /* valid until the next call on the reader; NULL for values read as text */
  /* Values read as text (tgr_report_reader_values_as_text): as printed,
   * each followed by its tab (digits the report was cut inside, at its
   * end); valid until the next call on the reader. NULL otherwise. */
  const char* values_text;
  size_t values_text_size;
} tgr_report_block;

/* A new reader. */
TGR_API int tgr_report_reader_open(tgr_report_reader** reader, char* error, size_t error_size);
/* Frees it; always TGR_OK. NULL is passed over. */
TGR_API int tgr_report_reader_close(tgr_report_reader* reader, char* error, size_t error_size);
/* From now on, each block's values are given as the report prints them
 * (values_text), not made numbers: found and counted in a pass over their
 * bytes, several times faster than making them numbers, for a program that
 * wants the numbers of only some blocks. They are judged as the numbers
 * are (each 1 to 5 digits of at most 65535 and its tab, no more than the
 * block's TotalSize gives room for): a report is damaged at the same place,
 * in the same words, either way, and tgr_report_values_parse makes every
 * value of a block given. TGR_E_ARGUMENT once the reading has begun. */
TGR_API int tgr_report_reader_values_as_text(tgr_report_reader* reader);
/* The numbers of a block's values text, into `out` (`capacity` values):
 * TGR_OK with `*count` made; TGR_E_DAMAGED if a value is not 1 to 5 digits
 * of at most 65535 followed by a tab, `*count` then those before it and
 * `*damage_at` its byte offset in the text; TGR_E_SPACE if more than
 * `capacity` came (`*count` of them made). Digits after the last tab (a
 * value the report was cut inside) make no value. `damage_at` may be NULL. */
TGR_API int tgr_report_values_parse(const char* text, size_t size, uint16_t* out, size_t capacity, size_t* count,
                                    size_t* damage_at);
/* Reads `size` more bytes of the report. TGR_OK, or TGR_E_DAMAGED for good. */
TGR_API int tgr_report_reader_feed(tgr_report_reader* reader, const void* text, size_t size);
/* The report has ended: a block being read is given, cut short if fewer
 * values came than its TotalSize gives room for. TGR_E_DAMAGED for what is
 * no report at all, or a last line that starts no line of it. */
TGR_API int tgr_report_reader_end(tgr_report_reader* reader);
/* The next whole block read so far: TGR_OK, or TGR_E_END if there is none
 * yet (feed more). */
TGR_API int tgr_report_reader_next(tgr_report_reader* reader, tgr_report_block* block);
/* The telegrams read so far, and whether the last run ended with the
 * receiver's closing lines (1) or not yet (0). */
TGR_API uint64_t tgr_report_reader_telegrams(const tgr_report_reader* reader);
TGR_API int tgr_report_reader_finished(const tgr_report_reader* reader);
/* 1 once the bytes have begun as a report does (the receiver's banner
 * line), else 0: until then, a program need not make anything for it. */
TGR_API int tgr_report_reader_started(const tgr_report_reader* reader);
/* "line N: expected ..., found ..." once the report is damaged; "" before. */
TGR_API const char* tgr_report_reader_error(const tgr_report_reader* reader);

#ifdef __cplusplus
}
#endif

#endif /* TGR_TGR_H_ */
