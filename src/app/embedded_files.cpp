#include "app/embedded_files.h"

#include <algorithm>
#include <climits>

// The zlib decoder of stb_image.
#include "core/stb_png_private.h"

namespace harvel {

namespace {

uint32_t adler32(std::string_view data) {
  constexpr uint32_t kMod = 65521;
  uint32_t a = 1;
  uint32_t b = 0;
  // 5552 bytes is the most that cannot overflow before the reduction.
  while (!data.empty()) {
    const std::size_t n = std::min<std::size_t>(data.size(), 5552);
    for (std::size_t i = 0; i < n; ++i) {
      a += static_cast<uint8_t>(data[i]);
      b += a;
    }
    a %= kMod;
    b %= kMod;
    data.remove_prefix(n);
  }
  return (b << 16) | a;
}

}  // namespace

std::span<const EmbeddedFile> embedded_files() { return {detail::kEmbeddedFiles, detail::kEmbeddedFileCount}; }

const EmbeddedFile* find_embedded_file(std::string_view path) {
  const auto files = embedded_files();
  const auto it = std::lower_bound(files.begin(), files.end(), path,
                                   [](const EmbeddedFile& f, std::string_view p) { return f.path < p; });
  if (it == files.end() || it->path != path) return nullptr;
  return &*it;
}

std::optional<std::string> zlib_decompress(std::span<const uint8_t> stream, std::size_t size) {
  // Header (2 bytes) and Adler-32 (4) at least; the decoder takes int sizes.
  if (stream.size() < 6 || stream.size() > INT_MAX || size >= INT_MAX) return std::nullopt;
  // One byte of room more than expected, so a longer stream shows.
  std::string out(size + 1, '\0');
  const int n = stbi_zlib_decode_buffer(out.data(), static_cast<int>(out.size()),
                                        reinterpret_cast<const char*>(stream.data()), static_cast<int>(stream.size()));
  if (n < 0 || static_cast<std::size_t>(n) != size) return std::nullopt;
  out.resize(size);
  // The decoder checks neither the checksum nor where the stream ends: the
  // last four bytes must be the Adler-32 of what came out.
  const uint8_t* t = stream.data() + stream.size() - 4;
  const uint32_t stored = (uint32_t{t[0]} << 24) | (uint32_t{t[1]} << 16) | (uint32_t{t[2]} << 8) | t[3];
  if (stored != adler32(out)) return std::nullopt;
  return out;
}

std::optional<std::string> read_embedded_file(std::string_view path) {
  const EmbeddedFile* file = find_embedded_file(path);
  if (file == nullptr) return std::nullopt;
  return zlib_decompress(file->stream, file->size);
}

}  // namespace harvel
