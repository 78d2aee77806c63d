// The web application's files, carried inside the program as brotli streams
// (generated at build time by tools/embed_files from the web build folder)
// and looked up by exact path ("/index.html", "/assets/index-….js").
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace harvel {

struct EmbeddedFile {
  std::string_view path;
  std::span<const uint8_t> brotli;
};

// The whole table, sorted by path.
std::span<const EmbeddedFile> embedded_files();

// The entry of exactly this path; null when there is none.
const EmbeddedFile* find_embedded_file(std::string_view path);

// The decompressed bytes of a file; none when the path is not in the table
// (or its stream is damaged).
std::optional<std::string> read_embedded_file(std::string_view path);

// Decompresses one whole brotli stream; none when it is not valid.
std::optional<std::string> brotli_decompress(std::span<const uint8_t> stream);

namespace detail {
// Defined by the generated source.
extern const EmbeddedFile kEmbeddedFiles[];
extern const std::size_t kEmbeddedFileCount;
}  // namespace detail

}  // namespace harvel
