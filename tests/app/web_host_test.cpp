// What both web-view hosts share: the embedded files, the application's
// origin, the bridge's messages, the window styles and the download names.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>

#include "app/downloads.h"
#include "app/embedded_files.h"
#include "app/web_assets.h"
#include "app/web_bridge.h"
#include "app/window_styles.h"
#include "core/text.h"

namespace harvel {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ---- Embedded files --------------------------------------------------------------

// The generated table holds exactly the files of the folder it was built
// from, byte for byte after decompression, sorted for the binary search.
TEST(EmbeddedFiles, MatchTheWebBuildFolder) {
  const fs::path dist = HARVEL_EMBEDDED_DIST;
  std::size_t on_disk = 0;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(dist)) {
    if (!e.is_regular_file()) continue;
    ++on_disk;
    std::string path = "/";
    path += fs::relative(e.path(), dist).generic_string();
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
  const std::span<const uint8_t> whole = index->stream;
  ASSERT_TRUE(zlib_decompress(whole, index->size).has_value());
  EXPECT_FALSE(zlib_decompress(whole.first(whole.size() - 1), index->size).has_value()) << "truncated";
  std::vector<uint8_t> trailing(whole.begin(), whole.end());
  trailing.push_back(0);
  EXPECT_FALSE(zlib_decompress(trailing, index->size).has_value()) << "bytes after the end";
  std::vector<uint8_t> flipped(whole.begin(), whole.end());
  flipped[flipped.size() / 2] ^= 0x10;
  EXPECT_FALSE(zlib_decompress(flipped, index->size).has_value()) << "a changed bit";
  EXPECT_FALSE(zlib_decompress(whole, index->size - 1).has_value()) << "longer than the table says";
  EXPECT_FALSE(zlib_decompress(whole, index->size + 1).has_value()) << "shorter than the table says";
  const uint8_t garbage[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_FALSE(zlib_decompress(garbage, 4).has_value());
  EXPECT_FALSE(zlib_decompress({}, 0).has_value());

  // Streams that zlib refuses, though a lenient decoder makes bytes of them.
  const std::vector<uint8_t> stored = {0x78, 0x01, 0x01, 0x03, 0x00, 0xfc, 0xff, 'a', 'b', 'c', 0x02, 0x4d, 0x01, 0x27};
  EXPECT_EQ(zlib_decompress(stored, 3), "abc");
  std::vector<uint8_t> junk = stored;
  junk.insert(junk.end() - 4, 0x00);
  EXPECT_FALSE(zlib_decompress(junk, 3).has_value()) << "a byte between the last block and the Adler-32";
  // A fixed-code block: 'a', then length 3 at distance code 30 (no such code).
  const std::vector<uint8_t> distance_30 = {0x78, 0x01, 0x4b, 0x04, 0x3e, 0x00, 0x01, 0x88, 0x00, 0x62};
  EXPECT_FALSE(zlib_decompress(distance_30, 4).has_value()) << "distance code 30";
}

// ---- The application's origin ------------------------------------------------------

std::string header(const AssetResponse& r, std::string_view name) {
  for (const auto& [n, v] : r.headers) {
    if (n == name) return v;
  }
  return "";
}

TEST(AppOrigin, ServesEmbeddedFilesByPathOnBothHostsOrigins) {
  const std::string index = *read_embedded_file("/index.html");
  // Some script of the build, whatever its hashed name.
  std::string script;
  for (const EmbeddedFile& f : embedded_files()) {
    if (f.path.ends_with(".js")) script = std::string(f.path);
  }
  ASSERT_FALSE(script.empty());
  struct Case {
    std::string url;
    int status;
    std::string mime;
  };
  const Case cases[] = {
      {"https://harvel.localhost/index.html", 200, "text/html"},
      {"https://harvel.localhost/", 200, "text/html"},
      {"https://harvel.localhost", 200, "text/html"},
      {"https://harvel.localhost/index.html#/tray", 200, "text/html"},
      {"http://harvel.localhost/index.html", 404, "text/plain"},
      {"https://harvel.localhost:8443/index.html", 404, "text/plain"},
      {"harvel://localhost/index.html?x=1", 200, "text/html"},
      {"HTTPS://Harvel.LocalHost/index.html", 200, "text/html"},
      {"https://harvel.localhost/%69ndex.html", 200, "text/html"},
      {"https://harvel.localhost" + script, 200, "text/javascript"},
      {"https://harvel.localhost/missing.js", 404, "text/plain"},
      {"https://harvel.localhost/INDEX.HTML", 404, "text/plain"},
      {"https://harvel.localhost/index.html%00", 404, "text/plain"},
      {"https://harvel.localhost/%zzindex.html", 404, "text/plain"},
      {"https://harvel.localhost/index.html%", 404, "text/plain"},
      {"https://example.com/index.html", 404, "text/plain"},
      {"https://harvel.localhost.evil.com/index.html", 404, "text/plain"},
      {"harvel://other/index.html", 404, "text/plain"},
      {"file:///index.html", 404, "text/plain"},
      {"", 404, "text/plain"},
  };
  for (const Case& c : cases) {
    const AssetResponse r = serve_app_asset(c.url);
    EXPECT_EQ(r.status, c.status) << c.url;
    EXPECT_EQ(r.reason, c.status == 200 ? "OK" : "Not Found") << c.url;
    ASSERT_EQ(r.headers.size(), 2u) << c.url;
    EXPECT_EQ(r.headers[0].first, "Content-Type");
    EXPECT_EQ(r.headers[0].second, c.mime) << c.url;
    EXPECT_EQ(r.headers[1].first, "Content-Security-Policy");
    if (c.mime == "text/html") {
      EXPECT_EQ(r.body, index) << c.url;
    }
    if (c.status == 404) {
      EXPECT_EQ(r.body, "not found") << c.url;
    }
  }
  EXPECT_NE(header(serve_app_asset("https://harvel.localhost/"), "Content-Security-Policy")
                .find("connect-src 'self' https://harvel.localhost;"),
            std::string::npos);
  EXPECT_NE(header(serve_app_asset("harvel://localhost/"), "Content-Security-Policy")
                .find("connect-src 'self' harvel://localhost;"),
            std::string::npos);
}

TEST(AppOrigin, MimeTypesByExtension) {
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
  for (const auto& [path, mime] : cases) EXPECT_EQ(mime_type_for_path(path), mime) << path;
}

TEST(AppOrigin, ContentSecurityPolicyNamesTheSiteAndTheOrigin) {
  EXPECT_EQ(content_security_policy("https://harvel.uz", "harvel://localhost"),
            "default-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self' data: https://harvel.uz; "
            "media-src 'self' https://harvel.uz; font-src 'self' data:; connect-src 'self' harvel://localhost; "
            "object-src 'none'; base-uri 'none'; form-action 'none'");
}

// ---- The bridge's messages -----------------------------------------------------------

TEST(BridgeMessages, CallsAreReadByExactKeys) {
  struct Case {
    const char* json;
    std::optional<BridgeCall> call;
  };
  const Case cases[] = {
      {R"({"id":"t:1","cmd":"state_get","args":"{}"})", BridgeCall{"t:1", "state_get", "{}"}},
      {R"({"id":"t:2","cmd":"mode_set","args":"{\"mode\":\"fast\"}"})",
       BridgeCall{"t:2", "mode_set", R"({"mode":"fast"})"}},
      {R"({"id":"t:3","cmd":"state_get"})", BridgeCall{"t:3", "state_get", "{}"}},
      {R"({"id":"t:4","cmd":"state_get","args":{"a":1}})", BridgeCall{"t:4", "state_get", "{}"}},
      {R"({"id":"t:5","args":"{}"})", BridgeCall{"t:5", "", "{}"}},
      {R"({"id":"t:6","cmd":7})", BridgeCall{"t:6", "", "{}"}},
      {R"({"id":"t:7","cmd":"state_get\u0000x"})", BridgeCall{"t:7", "", "{}"}},
      {R"({"id":"t:8","cmd":"window_close\u0000"})", BridgeCall{"t:8", "", "{}"}},
      {R"({"cmd":"state_get","args":"{}"})", std::nullopt},
      {R"({"id":1,"cmd":"state_get"})", std::nullopt},
      {R"(["t:1","state_get"])", std::nullopt},
      {R"("state_get")", std::nullopt},
      {R"({"id":"t:1",)", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    const std::optional<BridgeCall> got = parse_bridge_call(c.json);
    ASSERT_EQ(got.has_value(), c.call.has_value()) << c.json;
    if (!got) continue;
    EXPECT_EQ(got->id, c.call->id) << c.json;
    EXPECT_EQ(got->cmd, c.call->cmd) << c.json;
    EXPECT_EQ(got->args, c.call->args) << c.json;
  }
}

TEST(BridgeMessages, AnswersAndEventsCarryTheirJsonAsText) {
  const Json ok = Json::parse(bridge_reply_message("t:1", os::CommandResult::value(R"({"b":1,"a":"x\"y"})")));
  EXPECT_EQ(ok, Json::parse(R"({"id":"t:1","ok":true,"value":"{\"b\":1,\"a\":\"x\\\"y\"}"})"));
  const Json null = Json::parse(bridge_reply_message("t:2", os::CommandResult::value("")));
  EXPECT_EQ(null["value"], "null");
  const Json error = Json::parse(bridge_reply_message("t:3", os::CommandResult::error("command x not found")));
  EXPECT_EQ(error, Json::parse(R"({"id":"t:3","ok":false,"error":"command x not found"})"));

  const Json event = Json::parse(bridge_event_message("navigate", "\"/\""));
  EXPECT_EQ(event, Json::parse(R"({"event":"navigate","payload":"\"/\""})"));
  EXPECT_EQ(Json::parse(bridge_event_message("popup-shown", ""))["payload"], "null");
  // A title with a quote and a line break reaches the page intact.
  const std::string payload = R"({"title":"a \"b\"\nc"})";
  EXPECT_EQ(Json::parse(bridge_event_message("state-changed", payload))["payload"], payload);
}

TEST(BridgeMessages, TheLabelCannotLeaveItsString) {
  const std::string script = bridge_script("x\");alert(1);//", BridgeTransport::WebView2);
  EXPECT_NE(script.find(R"(("x\");alert(1);//", "webview2");)"), std::string::npos);
  EXPECT_NE(bridge_script("main", BridgeTransport::WebKit).find(R"(("main", "webkit");)"), std::string::npos);
}

TEST(BridgeMessages, WindowCallsAreAFixedList) {
  EXPECT_EQ(window_call("window_minimize"), WindowCall::Minimize);
  EXPECT_EQ(window_call("window_toggle_maximize"), WindowCall::ToggleMaximize);
  EXPECT_EQ(window_call("window_is_maximized"), WindowCall::IsMaximized);
  EXPECT_EQ(window_call("window_close"), WindowCall::Close);
  EXPECT_EQ(window_call("window_start_dragging"), WindowCall::StartDragging);
  for (const char* other : {"state_get", "window_maximize", "Window_close", "", "window_close "}) {
    EXPECT_EQ(window_call(other), WindowCall::None) << other;
  }
}

// ---- Window styles ---------------------------------------------------------------------

TEST(WindowStyles, TheProgramsThreeWindows) {
  os::WindowSpec main;
  main.frameless = true;
  main.min_width = 820;
  os::WindowSpec popup;
  popup.frameless = true;
  popup.resizable = false;
  popup.minimizable = false;
  popup.maximizable = false;
  popup.transparent = true;
  popup.focus = false;
  popup.skip_taskbar = true;
  popup.always_on_top = true;
  os::WindowSpec toast;
  toast.frameless = true;
  toast.resizable = false;
  toast.transparent = true;
  toast.focus = false;
  toast.always_on_top = true;
  toast.skip_taskbar = true;
  os::WindowSpec framed;
  framed.resizable = false;

  EXPECT_EQ(
      window_style_for(main),
      (WindowStyle{kWsPopup | kWsClipChildren | kWsThickFrame | kWsMinimizeBox | kWsMaximizeBox | kWsSysMenu, 0}));
  EXPECT_EQ(window_style_for(popup),
            (WindowStyle{kWsPopup | kWsClipChildren,
                         kWsExToolWindow | kWsExTopmost | kWsExNoActivate | kWsExNoRedirectionBitmap}));
  EXPECT_EQ(window_style_for(toast),
            (WindowStyle{kWsPopup | kWsClipChildren | kWsMinimizeBox | kWsSysMenu,
                         kWsExToolWindow | kWsExTopmost | kWsExNoActivate | kWsExNoRedirectionBitmap}));
  // Maximising needs a window that can be resized.
  EXPECT_EQ(window_style_for(framed), (WindowStyle{kWsCaption | kWsClipChildren | kWsMinimizeBox | kWsSysMenu, 0}));
  EXPECT_FALSE(can_maximize(framed));
  EXPECT_TRUE(can_maximize(main));
}

// ---- Downloads ------------------------------------------------------------------------------

TEST(Downloads, OnlyTheApplicationsOwnBlobs) {
  const std::pair<const char*, bool> cases[] = {
      {"blob:https://harvel.localhost/0d6c-44e1", true},
      {"BLOB:https://harvel.localhost/0d6c-44e1", true},
      {"blob:harvel://localhost/0d6c", true},
      {"blob:https://evil.com/0d6c", false},
      {"blob:https://harvel.localhost:8443/0d6c", false},
      {"blob:null/0d6c", false},
      {"blob:blob:https://harvel.localhost/0d6c", false},
      {"blob:", false},
      {"blob", false},
      // The application's own pages and files are shown, never saved.
      {"https://harvel.localhost/assets/a.txt", false},
      {"harvel://localhost/index.html", false},
      {"data:text/plain,x", false},
      {"https://harvel.uz/file.exe", false},
      {"", false},
  };
  for (const auto& [url, allowed] : cases) EXPECT_EQ(is_app_download_url(url), allowed) << url;
}

TEST(Downloads, NamesBothSystemsAccept) {
  const std::string long_stem(300, 'a');
  const std::pair<std::string, std::string> cases[] = {
      {"maqola.uz.docx", "maqola.uz.docx"},
      {".txt.uz", ".txt.uz"},
      {"o\u2018zbek \u015feri.uz.txt", "o\u2018zbek \u015feri.uz.txt"},
      // Only the last component of a path.
      {"../../etc/passwd", "passwd"},
      {"C:\\Users\\x\\hujjat.uz.docx", "hujjat.uz.docx"},
      {"dir/", "hujjat"},
      // Characters Windows refuses, and control characters.
      {"c:d*e?f\"g<h>i|j.txt", "c_d_e_f_g_h_i_j.txt"},
      {std::string("a\nb\tc\x7f\x01.uz.txt"), "abc.uz.txt"},
      {std::string("nul\0.txt", 8), "_nul.txt"},
      // Trailing dots and blanks; nothing left at all.
      {"name. . ", "name"},
      {"...", "hujjat"},
      {" . ", "hujjat"},
      {"", "hujjat"},
      // Device names, with any extension; names that only begin like one.
      {"CON", "_CON"},
      {"nul.txt", "_nul.txt"},
      {"com1.uz.md", "_com1.uz.md"},
      {"Aux .md", "_Aux .md"},
      {"LPT\u00B9.txt", "_LPT\u00B9.txt"},
      {"conout$", "_conout$"},
      // A cut that makes a device name: "CONX" loses its X to the extension.
      {"CONX." + std::string(251, 'a'), "_CO." + std::string(251, 'a')},
      {"nul  x." + std::string(249, 'a'), "_nul ." + std::string(249, 'a')},
      {"console.txt", "console.txt"},
      {"com10.txt", "com10.txt"},
      // 255 bytes at most, keeping the extension unless it leaves no room.
      {long_stem + ".uz.md", std::string(252, 'a') + ".md"},
      {"a." + long_stem, "a." + std::string(253, 'a')},
      {"a." + std::string(253, 'x'), "a." + std::string(253, 'x')},
      {"\u015f." + std::string(253, 'x'), "\u015f." + std::string(252, 'x')},  // not ".xxx"
  };
  for (const auto& [suggested, safe] : cases) EXPECT_EQ(safe_download_name(suggested), safe) << suggested;

  std::string letters;
  for (int i = 0; i < 200; ++i) letters += "\u015f";  // two bytes each
  const std::string odd = "a" + letters;  // its letters start at odd bytes
  EXPECT_EQ(safe_download_name(odd + "a.uz.md"), odd.substr(0, 251) + ".md") << "cut inside a letter";
  EXPECT_EQ(safe_download_name("a\xff\xfe.txt"), "a\uFFFD\uFFFD.txt");
}

TEST(Downloads, NumbersGoBeforeTheLastExtensionAndReplaceNothing) {
  const std::set<std::string> folder{"Maqola.uz.md", "report.uz.docx", "report.uz (1).docx", "README", ".profile",
                                     ".txt.uz", "my.report.uz.docx"};
  const auto taken = [&](const std::string& n) { return folder.contains(n); };
  const std::pair<std::string, std::string> cases[] = {
      {"new.uz.txt", "new.uz.txt"},
      {"Maqola.uz.md", "Maqola.uz (1).md"},
      {"my.report.uz.docx", "my.report.uz (1).docx"},
      {"report.uz.docx", "report.uz (2).docx"},
      {"README", "README (1)"},
      {".profile", ".profile (1)"},
      {".txt.uz", ".txt (1).uz"},
  };
  for (const auto& [name, free] : cases) EXPECT_EQ(free_download_name(name, taken), free) << name;

  // A numbered name still fits, cut at a character boundary.
  const auto only_unnumbered_taken = [](const std::string& n) { return !n.ends_with(")") && !n.ends_with(").md"); };
  EXPECT_EQ(free_download_name(std::string(255, 'a'), only_unnumbered_taken), std::string(251, 'a') + " (1)");
  std::string letters;
  for (int i = 0; i < 125; ++i) letters += "\u015f";
  const std::string odd = "a" + letters;
  EXPECT_EQ(free_download_name(odd + ".md", only_unnumbered_taken), odd.substr(0, 247) + " (1).md");

  // A folder where every number is taken gets no name, not an old one.
  int asked = 0;
  EXPECT_EQ(free_download_name("a.md", [&](const std::string&) { return ++asked > 0; }), std::nullopt);
  EXPECT_EQ(asked, 10000);
}

}  // namespace
}  // namespace harvel
