// Reading the program's small data files.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace harvel {

// At most the first `limit` bytes of a file; none when it cannot be opened
// or read.
std::optional<std::string> read_file_prefix(const std::filesystem::path& path, std::size_t limit);

}  // namespace harvel
