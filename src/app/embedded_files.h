// The web application's files, carried inside the program as zlib streams
// (generated at build time by tools/embed_files from the web build folder)
// and looked up by exact path ("/index.html", "/assets/index-….js"). zlib
// rather than brotli: both targets read it with the PNG decoder the program
// already carries, where MinGW has no brotli library.
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
// when it is not valid, holds another amount or is followed by other bytes
// (its Adler-32 must close the stream).
std::optional<std::string> zlib_decompress(std::span<const uint8_t> stream, std::size_t size);

namespace detail {
// Defined by the generated source.
extern const EmbeddedFile kEmbeddedFiles[];
extern const std::size_t kEmbeddedFileCount;
}  // namespace detail

}  // namespace harvel
