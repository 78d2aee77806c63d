// Downloads of the application's pages: names claimed in a real folder, and
// real pages saving blobs into the Downloads folder.
#include <glib/gstdio.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "host_fixture.h"
#include "page_script.h"

namespace harvel::linux_host {
namespace {

namespace fs = std::filesystem;
using testing::pump_for;
using testing::pump_until;

// A private folder standing in for the Downloads folder.
class DownloadFolder {
 public:
  DownloadFolder() {
    char tmpl[] = "/tmp/harvel-downloads-XXXXXX";
    path_ = g_mkdtemp(tmpl);
  }
  ~DownloadFolder() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }
  std::set<std::string> names() const {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(path_)) out.insert(e.path().filename().string());
    return out;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  fs::path path_;
};

TEST(LinuxDownloads, ReservedNamesNeverOverwrite) {
  DownloadFolder folder;
  std::ofstream(folder.path() / "a.uz.md") << "kept";
  const auto first = reserve_download_path(folder.path(), "a.uz.md");
  const auto second = reserve_download_path(folder.path(), "a.uz.md");
  ASSERT_TRUE(first && second);
  EXPECT_EQ(*first, (folder.path() / "a.uz (1).md").string());
  EXPECT_EQ(*second, (folder.path() / "a.uz (2).md").string());
  EXPECT_EQ(folder.read("a.uz.md"), "kept");
  EXPECT_EQ(folder.read("a.uz (1).md"), "");
  // A link in the folder is a name taken, never followed.
  fs::create_symlink(folder.path() / "elsewhere.md", folder.path() / "b.md");
  EXPECT_EQ(reserve_download_path(folder.path(), "b.md"), (folder.path() / "b (1).md").string());
  EXPECT_FALSE(fs::exists(folder.path() / "elsewhere.md"));
  EXPECT_FALSE(reserve_download_path((folder.path() / "missing").string(), "a.txt"));
}

// Real pages: the Downloads folder is the XDG one, set for this process.
class PageDownloads : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::start_host_once();
    const char* config = std::getenv("XDG_CONFIG_HOME");
    ASSERT_NE(config, nullptr) << "run under with_xvfb.sh";
    // Only a private configuration folder (with_xvfb.sh's) is written to.
    if (fs::exists(fs::path(config) / "user-dirs.dirs")) GTEST_SKIP() << config << " is not a private folder";
    std::ofstream(fs::path(config) / "user-dirs.dirs")
        << "XDG_DOWNLOAD_DIR=\"" << (folder_.path() / "Yuklamalar").string() << "\"\n";
    g_reload_user_special_dirs_cache();
    ASSERT_EQ(downloads_folder(), (folder_.path() / "Yuklamalar").string());
    windows_ = static_cast<LinuxWebWindows*>(os::platform().windows);
  }
  void TearDown() override {
    windows_->destroy("dl");
    fs::remove(fs::path(std::getenv("XDG_CONFIG_HOME")) / "user-dirs.dirs");
    g_reload_user_special_dirs_cache();
  }

  // Opens a page whose script runs once it has loaded.
  void open_page(const std::string& script) {
    os::WindowSpec spec;
    spec.label = "dl";
    spec.visible = false;
    spec.start_script = "window.addEventListener('load', () => {" + script + "});";
    ASSERT_TRUE(windows_->create(spec));
  }

  std::string page_href() {
    std::string href;
    testing::run_page_script(windows_->web_view("dl"), "return location.href", [&](JSCValue* v) {
      if (v == nullptr) return;
      char* text = jsc_value_to_string(v);
      href = text;
      g_free(text);
    });
    return href;
  }

  DownloadFolder folder_;
  LinuxWebWindows* windows_ = nullptr;
};

TEST_F(PageDownloads, ALinkToTheOwnBlobIsSavedUnderItsName) {
  // Bytes that are no text: 0 to 255, as a converted .docx would be. The
  // links are clicked one after another, as a user does (a click made while
  // the last one's navigation is still pending takes its place).
  open_page(R"js(
    const bytes = new Uint8Array(256).map((_, i) => i);
    const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
    ['Maqola.uz.docx', 'Maqola.uz.docx', '../../Sir.uz.txt'].forEach((name, i) => setTimeout(() => {
      const a = document.createElement('a');
      a.href = url;
      a.download = name;
      document.body.appendChild(a);
      a.click();
    }, 300 * i));
  )js");
  const fs::path saved = folder_.path() / "Yuklamalar";
  const std::set<std::string> expected = {"Maqola.uz.docx", "Maqola.uz (1).docx", "Sir.uz.txt"};
  auto all_saved = [&] {
    if (!fs::exists(saved) || folder_.names() != std::set<std::string>{"Yuklamalar"}) return false;
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(saved)) {
      if (fs::file_size(e.path()) != 256) return false;
      names.insert(e.path().filename().string());
    }
    return names == expected;
  };
  ASSERT_TRUE(pump_until(all_saved)) << "saved: " << [&] {
    std::string s;
    if (fs::exists(saved)) {
      for (const auto& e : fs::recursive_directory_iterator(saved)) s += e.path().filename().string() + " ";
    }
    return s;
  }();
  std::ifstream in(saved / "Maqola.uz (1).docx", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (int i = 0; i < 256; ++i) ASSERT_EQ(static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]), i);
  EXPECT_EQ(page_href().rfind("harvel://localhost/", 0), 0u) << "the page was left";
}

TEST_F(PageDownloads, AnOwnBlobOpenedInPlaceIsSavedAndThePageStays) {
  open_page(R"js(
    location.href = URL.createObjectURL(new Blob(['<h1>not the app</h1>'], { type: 'text/html' }));
  )js");
  const fs::path saved = folder_.path() / "Yuklamalar";
  ASSERT_TRUE(pump_until([&] {
    if (!fs::exists(saved)) return false;
    for (const auto& e : fs::directory_iterator(saved)) {
      if (fs::file_size(e.path()) == 20) return true;
    }
    return false;
  }, 10));
  pump_for(0.3);
  EXPECT_EQ(page_href().rfind("harvel://localhost/", 0), 0u) << "the blob replaced the page";
}

TEST_F(PageDownloads, OtherDownloadsAreCancelled) {
  open_page("");
  ASSERT_TRUE(pump_until([&] { return page_href().rfind("harvel://localhost/", 0) == 0; }));
  WebKitDownload* download = webkit_web_view_download_uri(windows_->web_view("dl"), "harvel://localhost/index.html");
  bool failed = false;
  g_signal_connect(download, "failed", G_CALLBACK(+[](WebKitDownload*, GError*, gpointer flag) {
                     *static_cast<bool*>(flag) = true;
                   }),
                   &failed);
  EXPECT_TRUE(pump_until([&] { return failed; }));
  g_signal_handlers_disconnect_by_data(download, &failed);
  g_object_unref(download);
  EXPECT_FALSE(fs::exists(folder_.path() / "Yuklamalar")) << "something was saved";
}

}  // namespace
}  // namespace harvel::linux_host
