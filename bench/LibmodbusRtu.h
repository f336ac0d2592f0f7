#pragma once

#include <modbus.h>

#include <cerrno>
#include <cstdio>
#include <string>

// libmodbus as the benchmarks' reference master: drive 1, one second to
// answer. nullptr (with libmodbus's reason on stderr) when the line cannot
// be opened.
inline modbus_t *ConnectLibmodbus(modbus_t *ctx) {
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

// RTU 8N1 on `path`.
inline modbus_t *OpenLibmodbusRtu(const std::string &path, int baud) {
  return ConnectLibmodbus(modbus_new_rtu(path.c_str(), baud, 'N', 8, 1));
}

// Modbus TCP to `name` as the program writes it ("tcp:127.0.0.1:PORT").
inline modbus_t *OpenLibmodbusTcp(const std::string &name) {
  return ConnectLibmodbus(modbus_new_tcp("127.0.0.1", std::stoi(name.substr(name.rfind(':') + 1))));
}
