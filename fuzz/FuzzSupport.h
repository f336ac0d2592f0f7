#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

// What every fuzz target needs: a scratch folder that lives as long as the
// process, and a way to put the fuzzer's bytes into a file.
namespace FuzzSupport {
// A folder created once per process and removed at its end.
QString ScratchFolder();
// Replaces `path` with exactly `size` bytes of `data`.
bool WriteFile(const QString &path, const std::uint8_t *data, std::size_t size);
} // namespace FuzzSupport
