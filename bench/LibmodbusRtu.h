#pragma once

#include <modbus.h>

#include <cerrno>
#include <cstdio>
#include <string>

// libmodbus as the benchmarks' reference master: RTU 8N1 on `path`, drive 1,
// one second to answer. nullptr (with libmodbus's reason on stderr) when the
// line cannot be opened.
inline modbus_t *OpenLibmodbusRtu(const std::string &path, int baud) {
  modbus_t *ctx = modbus_new_rtu(path.c_str(), baud, 'N', 8, 1);
  if (!ctx || modbus_connect(ctx) != 0) {
    std::fprintf(stderr, "libmodbus: %s\n", modbus_strerror(errno));
    if (ctx)
      modbus_free(ctx);
    return nullptr;
  }
  modbus_set_slave(ctx, 1);
  modbus_set_response_timeout(ctx, 1, 0);
  return ctx;
}
