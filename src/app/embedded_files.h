// The web application's files, carried inside the program as zlib streams
// (generated at build time by tools/embed_files from the web build folder)
// and looked up by exact path ("/index.html", "/assets/index-….js"). zlib
// rather than brotli: MinGW has no brotli library, and both targets link
// zlib.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace harvel {

struct EmbeddedFile {
  std::string_view path;
  std::span<const uint8_t> stream;  // zlib format: header, deflate data, Adler-32
  std::size_t size = 0;             // bytes after decompression
};

// The whole table, sorted by path.
std::span<const EmbeddedFile> embedded_files();

// The entry of exactly this path; null when there is none.
const EmbeddedFile* find_embedded_file(std::string_view path);

// The decompressed bytes of a file; none when the path is not in the table
// (or its stream is damaged).
std::optional<std::string> read_embedded_file(std::string_view path);

// Decompresses one whole zlib stream that holds exactly `size` bytes; none
// when zlib refuses it (a bad header, invalid deflate codes, a wrong
// Adler-32, bytes between the last block and the checksum), when it holds
// another amount or when other bytes follow it.
std::optional<std::string> zlib_decompress(std::span<const uint8_t> stream, std::size_t size);

namespace detail {
// Defined by the generated source.
extern const EmbeddedFile kEmbeddedFiles[];
extern const std::size_t kEmbeddedFileCount;
}  // namespace detail

}  // namespace harvel
