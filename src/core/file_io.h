// The program's small data files: paths made from text, bounded reads, and
// whole-file writes that survive a power cut.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/os.h"

namespace harvel {

// A path from UTF-8 text, on every system: Windows paths are UTF-16 and a
// plain std::string would be read in the ANSI code page. Invalid bytes
// become U+FFFD there.
std::filesystem::path path_from_utf8(std::string_view utf8);
// The path as UTF-8 text (unpaired surrogates become U+FFFD).
std::string path_to_utf8(const std::filesystem::path& path);

// At most the first `limit` bytes of a file; none when it cannot be opened
// or read.
std::optional<std::string> read_file_prefix(const std::filesystem::path& path, std::size_t limit);

// The system's flushed writes; the unflushed standard-library ones when the
// platform has none.
os::Files& files();
// Writes through the standard library without flushing to the disk.
os::Files& unflushed_files();

// Replaces `target` whole: the bytes go to `temp` beside it, created anew
// (a leftover file or link there is removed first, never written through)
// and flushed, which is then renamed over `target` (flushed), so a failed or
// interrupted write leaves the old file or the new one. Missing folders are
// created. With `keep_old_as`, an existing `target` first gets that second
// name as well (replacing an older file there); when that fails nothing is
// replaced. The temporary file is removed after a failure.
bool replace_file(const std::filesystem::path& target, const std::filesystem::path& temp, std::string_view bytes,
                  const std::optional<std::filesystem::path>& keep_old_as = std::nullopt);

}  // namespace harvel
