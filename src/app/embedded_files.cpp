#include "app/embedded_files.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace harvel {

std::span<const EmbeddedFile> embedded_files() { return {detail::kEmbeddedFiles, detail::kEmbeddedFileCount}; }

const EmbeddedFile* find_embedded_file(std::string_view path) {
  const auto files = embedded_files();
  const auto it = std::lower_bound(files.begin(), files.end(), path,
                                   [](const EmbeddedFile& f, std::string_view p) { return f.path < p; });
  if (it == files.end() || it->path != path) return nullptr;
  return &*it;
}

std::optional<std::string> zlib_decompress(std::span<const uint8_t> stream, std::size_t size) {
  // zlib itself, so a stream is taken exactly when zlib takes it: header,
  // deflate data, and the Adler-32 right after the last block.
  if (stream.size() > UINT_MAX || size >= UINT_MAX) return std::nullopt;
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return std::nullopt;
  // One byte of room more than expected, so a longer stream shows.
  std::string out(size + 1, '\0');
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&z, Z_FINISH);
  const bool whole = result == Z_STREAM_END && z.avail_in == 0 && z.total_out == size;
  inflateEnd(&z);
  if (!whole) return std::nullopt;
  out.resize(size);
  return out;
}

std::optional<std::string> read_embedded_file(std::string_view path) {
  const EmbeddedFile* file = find_embedded_file(path);
  if (file == nullptr) return std::nullopt;
  return zlib_decompress(file->stream, file->size);
}

}  // namespace harvel
