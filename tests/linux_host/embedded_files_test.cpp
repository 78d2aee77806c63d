#include "app/embedded_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/linux/linux_host.h"

namespace harvel {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The generated table holds exactly the files of the folder it was built
// from, byte for byte after decompression, sorted for the binary search.
TEST(EmbeddedFiles, MatchTheWebBuildFolder) {
  const fs::path dist = HARVEL_EMBEDDED_DIST;
  std::size_t on_disk = 0;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(dist)) {
    if (!e.is_regular_file()) continue;
    ++on_disk;
    const std::string path = "/" + fs::relative(e.path(), dist).generic_string();
    const std::optional<std::string> data = read_embedded_file(path);
    ASSERT_TRUE(data.has_value()) << path;
    EXPECT_EQ(*data, read_file(e.path())) << path;
  }
  const auto files = embedded_files();
  EXPECT_EQ(files.size(), on_disk);
  for (std::size_t i = 1; i < files.size(); ++i) EXPECT_LT(files[i - 1].path, files[i].path);
}

TEST(EmbeddedFiles, LookupIsByExactPath) {
  ASSERT_NE(find_embedded_file("/index.html"), nullptr);
  for (const char* path : {"index.html", "/index.html/", "/INDEX.HTML", "/index.htm", "", "/", "/missing.js"}) {
    EXPECT_EQ(find_embedded_file(path), nullptr) << path;
    EXPECT_FALSE(read_embedded_file(path).has_value()) << path;
  }
}

TEST(EmbeddedFiles, DamagedStreamsAreRefused) {
  const EmbeddedFile* index = find_embedded_file("/index.html");
  ASSERT_NE(index, nullptr);
  const std::span<const uint8_t> whole = index->brotli;
  EXPECT_FALSE(brotli_decompress(whole.first(whole.size() - 1)).has_value());  // truncated
  std::vector<uint8_t> trailing(whole.begin(), whole.end());
  trailing.push_back(0);
  EXPECT_FALSE(brotli_decompress(trailing).has_value());
  const uint8_t garbage[] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_FALSE(brotli_decompress(garbage).has_value());
}

TEST(AssetProtocol, MimeTypesByExtension) {
  const std::pair<const char*, const char*> cases[] = {
      {"/index.html", "text/html"},
      {"/assets/index-CiUbEO2R.js", "text/javascript"},
      {"/assets/worker.MJS", "text/javascript"},
      {"/assets/index-D3t7FVbE.css", "text/css"},
      {"/icons/32x32.png", "image/png"},
      {"/icons/icon.ico", "image/x-icon"},
      {"/logo.svg", "image/svg+xml"},
      {"/fonts/a.woff2", "font/woff2"},
      {"/data.json", "application/json"},
      {"/ads/video.mp4", "video/mp4"},
      {"/no-extension", "application/octet-stream"},
      {"/dir.d/file", "application/octet-stream"},
      {"/.hidden", "application/octet-stream"},
      {"/file.unknown", "application/octet-stream"},
  };
  for (const auto& [path, mime] : cases) EXPECT_EQ(linux_host::mime_type_for_path(path), mime) << path;
}

TEST(AssetProtocol, ContentSecurityPolicyNamesTheSiteAndOurOrigin) {
  EXPECT_EQ(linux_host::content_security_policy("https://harvel.uz"),
            "default-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self' data: https://harvel.uz; "
            "media-src 'self' https://harvel.uz; font-src 'self' data:; connect-src 'self' harvel://localhost; "
            "object-src 'none'; base-uri 'none'; form-action 'none'");
}

}  // namespace
}  // namespace harvel
