#include "app/embedded_files.h"

#include <brotli/decode.h>

#include <algorithm>
#include <memory>

namespace harvel {

std::span<const EmbeddedFile> embedded_files() {
  return {detail::kEmbeddedFiles, detail::kEmbeddedFileCount};
}

const EmbeddedFile* find_embedded_file(std::string_view path) {
  const auto files = embedded_files();
  const auto it = std::lower_bound(files.begin(), files.end(), path,
                                   [](const EmbeddedFile& f, std::string_view p) { return f.path < p; });
  if (it == files.end() || it->path != path) return nullptr;
  return &*it;
}

std::optional<std::string> brotli_decompress(std::span<const uint8_t> stream) {
  std::unique_ptr<BrotliDecoderState, decltype(&BrotliDecoderDestroyInstance)> state(
      BrotliDecoderCreateInstance(nullptr, nullptr, nullptr), BrotliDecoderDestroyInstance);
  if (!state) return std::nullopt;
  std::string out;
  size_t available_in = stream.size();
  const uint8_t* next_in = stream.data();
  uint8_t buffer[64 * 1024];
  for (;;) {
    size_t available_out = sizeof buffer;
    uint8_t* next_out = buffer;
    const BrotliDecoderResult r = BrotliDecoderDecompressStream(state.get(), &available_in, &next_in,
                                                                &available_out, &next_out, nullptr);
    out.append(reinterpret_cast<const char*>(buffer), sizeof buffer - available_out);
    if (r == BROTLI_DECODER_RESULT_SUCCESS) {
      if (available_in != 0) return std::nullopt;  // bytes after the stream's end
      return out;
    }
    if (r != BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT) return std::nullopt;  // error or truncated
  }
}

std::optional<std::string> read_embedded_file(std::string_view path) {
  const EmbeddedFile* file = find_embedded_file(path);
  if (file == nullptr) return std::nullopt;
  return brotli_decompress(file->brotli);
}

}  // namespace harvel
