#include "bench/port_drops.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool ReadPortDrops(uint16_t port, long* drops) {
  FILE* table = fopen("/proc/net/udp", "r");
  if (table == nullptr) return false;
  // The local address ends in the port, in hex: "0100007F:270F".
  char local_port[8];
  snprintf(local_port, sizeof local_port, ":%04X ", static_cast<unsigned>(port));
  char line[512];
  bool bound = false;
  while (!bound && fgets(line, sizeof line, table) != nullptr) {
    if (strstr(line, local_port) == nullptr) continue;
    bound = true;
    // The last of the row's thirteen fields.
    char* rest = nullptr;
    char* field = strtok_r(line, " \n", &rest);
    for (int i = 1; i < 13 && field != nullptr; ++i) field = strtok_r(nullptr, " \n", &rest);
    *drops = field != nullptr ? strtol(field, nullptr, 10) : -1;
  }
  fclose(table);
  return bound;
}
