// Writes small, valid tracker modules for the tests: one looping square-wave sample,
// one pattern with notes on its first channel (on every channel in the XM), played once
// through.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace orvox::tracker::test {

using Bytes = std::vector<std::uint8_t>;

Bytes mod31();  // "M.K." module, 31 instruments, 4 channels
Bytes mod15();  // 15-instrument module without a signature
Bytes s3m();
Bytes xm(unsigned channels = 4);

void writeFile(const std::filesystem::path& path, const Bytes& bytes);
Bytes readFile(const std::filesystem::path& path);

}  // namespace orvox::tracker::test
