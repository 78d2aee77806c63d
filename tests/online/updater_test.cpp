#include <gtest/gtest.h>

#include <thread>

#include "core/file_io.h"
#include "online/http_client.h"
#include "online/signing.h"
#include "online/update_record.h"
#include "online/updater.h"
#include "online_fixture.h"

namespace harvel {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

constexpr const char* kManifestUrl = "https://harvel.uz/api/manifest";
const std::string kInstaller = "installer bytes of version 0.2.0";

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string sha256_of(std::string_view bytes) {
  Sha256 h;
  h.update(bytes);
  return h.hex_digest();
}

struct Updater : ::testing::Test {
  testing::OnlineFixture f;
  UpdateRecord record() { return f.t.ctx().update.copy(); }

  // A non-portable copy: "uninstall.exe" beside the program.
  void installed_copy() {
    const fs::path folder = f.t.dir.path() / "app";
    fs::create_directories(folder);
    testing::write_text(folder / "uninstall.exe", "");
    init_portable_flag(folder / "harvel.exe");
  }
  void SetUp() override { installed_copy(); }
  void TearDown() override { init_portable_flag(std::nullopt); }

  ordered_json offer(const std::string& version = "0.2.0", const std::string& body = kInstaller) {
    const std::string hash = sha256_of(body);
    return {{"available", true},
            {"version", version},
            {"sizeMb", 1.5},
            {"sha256", upper(hash)},
            {"signature", f.signer.sign(update_signed_line(version, hash))},
            {"url", "http://cdn.harvel.uz/setup.exe"},  // not https: skipped
            {"mirrorUrl", "https://mirror.harvel.uz/setup.exe"},
            {"portableUrl", "https://harvel.uz/portable"}};
  }
  void serve(const ordered_json& manifest) { f.http.answer(kManifestUrl, 200, manifest.dump()); }
  void serve_installer(const std::string& body = kInstaller, bool with_length = true) {
    fake::FakeHttpAnswer a;
    a.body = body;
    a.chunk = 4;
    if (with_length) a.headers = {{"Content-Length", std::to_string(body.size())}};
    f.http.answer("https://mirror.harvel.uz/setup.exe", a);
  }
  int downloads() {
    int n = 0;
    for (const auto& u : f.http.urls()) n += u != kManifestUrl;
    return n;
  }
  bool run(bool interactive = false) { return run_update_check_and_download(f.t.app, interactive, f.key()); }
};

TEST_F(Updater, RunningVersionOfferedIsIdleAndCleansInstallers) {
  testing::write_text(f.tmp() / "Harvel-Setup-0.1.5.exe", "old");
  testing::write_text(f.tmp() / "Harvel-Setup-0.2.0.exe.part", "half");
  testing::write_text(f.tmp() / "Other-Setup.exe", "keep");
  testing::write_text(f.tmp() / "Harvel-Setup-0.1.4.EXE", "keep: the suffix test is case-sensitive");
  for (const char* version : {"0.1.7", "0.1.7.0", "0.1.6", "not.a.version"}) {
    SCOPED_TRACE(version);
    ordered_json m = offer(version);
    m["minVersion"] = "0.2";
    serve(m);
    EXPECT_TRUE(run());
    const UpdateRecord r = record();
    EXPECT_EQ(r.phase, UpdatePhase::Idle);
    EXPECT_FALSE(r.latest);
    EXPECT_TRUE(r.outdated);  // "minVersion" counts even with nothing newer
    EXPECT_GT(r.checked_at, 0u);
  }
  EXPECT_FALSE(fs::exists(f.tmp() / "Harvel-Setup-0.1.5.exe"));
  EXPECT_FALSE(fs::exists(f.tmp() / "Harvel-Setup-0.2.0.exe.part"));
  EXPECT_TRUE(fs::exists(f.tmp() / "Other-Setup.exe"));
  EXPECT_TRUE(fs::exists(f.tmp() / "Harvel-Setup-0.1.4.EXE"));
  EXPECT_EQ(downloads(), 0);
}

TEST_F(Updater, WithoutKeyStaysAvailableWithoutDownloadOrNotice) {
  serve(offer());
  serve_installer();
  EXPECT_TRUE(run_update_check_and_download(f.t.app, false, std::nullopt));
  const UpdateRecord r = record();
  EXPECT_EQ(r.phase, UpdatePhase::Available);
  EXPECT_EQ(r.latest, "0.2.0");
  EXPECT_EQ(r.size_mb, 1.5);
  EXPECT_EQ(r.portable_url, "https://harvel.uz/portable");
  EXPECT_EQ(downloads(), 0);
  EXPECT_TRUE(f.t.notices.empty());
  EXPECT_EQ(install_downloaded_update_with_key(f.t.app, std::nullopt), kInstallNothing);
}

TEST_F(Updater, PortableCopyOnlyTellsOncePerVersion) {
  init_portable_flag(std::nullopt);
  serve(offer());
  serve_installer();
  EXPECT_TRUE(run());
  EXPECT_TRUE(run());
  EXPECT_EQ(record().phase, UpdatePhase::Available);
  EXPECT_EQ(downloads(), 0);
  ASSERT_EQ(f.t.notices.size(), 1u);
  EXPECT_EQ(f.t.notices[0].title, "Yangi versiya bor");
  EXPECT_EQ(f.t.notices[0].body, "Harvel 0.2.0 chiqdi. Yangisini saytdan yuklab oling.");
  EXPECT_EQ(f.t.notices[0].kind, ToastKind::Info);
}

TEST_F(Updater, DownloadsVerifiesAndGetsReady) {
  testing::write_text(f.tmp() / "Harvel-Setup-0.1.9.exe", "older download");
  serve(offer());
  serve_installer();
  EXPECT_TRUE(run());
  const UpdateRecord r = record();
  EXPECT_EQ(r.phase, UpdatePhase::Ready);
  EXPECT_EQ(r.error, UpdateError::None);
  EXPECT_EQ(r.pct, 100u);
  ASSERT_TRUE(r.installer);
  EXPECT_EQ(r.installer->path, f.tmp() / "Harvel-Setup-0.2.0.exe");
  EXPECT_EQ(r.installer->sha256, sha256_of(kInstaller));
  EXPECT_EQ(testing::read_text(r.installer->path), kInstaller);
  EXPECT_FALSE(fs::exists(f.tmp() / "Harvel-Setup-0.2.0.exe.part"));
  EXPECT_FALSE(fs::exists(f.tmp() / "Harvel-Setup-0.1.9.exe"));
  // Only the https mirror was asked, through the download agent.
  const auto requests = f.http.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].url, "https://mirror.harvel.uz/setup.exe");
  EXPECT_EQ(requests[1].connect_timeout, std::chrono::milliseconds(15000));
  EXPECT_EQ(requests[1].read_timeout, std::chrono::milliseconds(10000));
  EXPECT_FALSE(requests[1].total_timeout);
  // Progress is broadcast once per whole percentage (8 pieces of 4 bytes).
  EXPECT_LE(f.broadcasts(), 3 + 8 + 1);
  ASSERT_EQ(f.t.notices.size(), 1u);
  EXPECT_EQ(f.t.notices[0].title, "Yangilash tayyor");
  EXPECT_EQ(f.t.notices[0].body, "Harvel 0.2.0 o\u2018rnatishga tayyor. Sozlamalar yoki tray orqali o\u2018rnating.");

  // The next check finds the verified file and downloads nothing.
  f.http.clear_requests();
  EXPECT_TRUE(run());
  EXPECT_EQ(record().phase, UpdatePhase::Ready);
  EXPECT_EQ(downloads(), 0);
  EXPECT_EQ(f.t.notices.size(), 1u);
}

TEST_F(Updater, GateRefusesBadHashOrSignature) {
  struct Case {
    const char* what;
    std::function<void(ordered_json&)> change;
  };
  const Case cases[] = {
      {"no sha256", [](ordered_json& m) { m.erase("sha256"); }},
      {"short sha256", [](ordered_json& m) { m["sha256"] = std::string(63, 'a'); }},
      {"non-hex sha256", [](ordered_json& m) { m["sha256"] = std::string(63, 'a') + "g"; }},
      {"no signature", [](ordered_json& m) { m.erase("signature"); }},
      {"signature of 63 bytes", [](ordered_json& m) { m["signature"] = testing::base64_encode(reinterpret_cast<const uint8_t*>(std::string(63, 'x').data()), 63); }},
      {"signature of other bytes", [this](ordered_json& m) { m["signature"] = f.signer.sign("harvel-update-v1|0.2.1|x"); }},
      {"hash changed after signing", [](ordered_json& m) { m["sha256"] = std::string(64, 'b'); }},
  };
  serve_installer();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ordered_json m = offer();
    c.change(m);
    serve(m);
    f.http.clear_requests();
    EXPECT_TRUE(run());
    EXPECT_EQ(record().phase, UpdatePhase::Error);
    EXPECT_EQ(record().error, UpdateError::Integrity);
    EXPECT_FALSE(record().installer);
    EXPECT_EQ(downloads(), 0);
  }
}

// Manifests past 64 KiB, up to the largest a fetch takes: the signed update
// line inside is checked as in a small one.
TEST_F(Updater, LongManifestsAreVerifiedAlike) {
  serve_installer();
  for (const std::size_t bytes : {std::size_t{65535}, std::size_t{65536 + 100}, kMaxTextBody}) {
    for (const bool signed_well : {true, false}) {
      SCOPED_TRACE(std::to_string(bytes) + (signed_well ? " signed" : " badly signed"));
      ordered_json m = offer();
      if (!signed_well) m["signature"] = f.signer.sign(update_signed_line("0.2.0", std::string(64, 'b')));
      m["notes"] = "";
      m["notes"] = std::string(bytes - m.dump().size(), 'n');
      ASSERT_EQ(m.dump().size(), bytes);
      serve(m);
      EXPECT_TRUE(run());
      EXPECT_EQ(record().phase, signed_well ? UpdatePhase::Ready : UpdatePhase::Error);
      EXPECT_EQ(record().error, signed_well ? UpdateError::None : UpdateError::Integrity);
    }
  }
}

TEST_F(Updater, WrongBytesAreIntegrityAndLeaveNoFile) {
  serve(offer());
  serve_installer("some other installer");
  EXPECT_TRUE(run());
  EXPECT_EQ(record().phase, UpdatePhase::Error);
  EXPECT_EQ(record().error, UpdateError::Integrity);
  EXPECT_FALSE(fs::exists(f.tmp() / "Harvel-Setup-0.2.0.exe.part"));
  EXPECT_FALSE(fs::exists(f.tmp() / "Harvel-Setup-0.2.0.exe"));
}

TEST_F(Updater, FailedDownloadIsNetworkOnlyWhenInteractive) {
  serve(offer());  // no installer served
  EXPECT_FALSE(run(false));
  EXPECT_EQ(record().phase, UpdatePhase::Available);
  EXPECT_EQ(record().error, UpdateError::None);
  EXPECT_FALSE(run(true));
  EXPECT_EQ(record().phase, UpdatePhase::Error);
  EXPECT_EQ(record().error, UpdateError::Network);

  // Too long by its header: refused before reading.
  fake::FakeHttpAnswer big;
  big.headers = {{"content-length", "+209715201"}};
  big.body = kInstaller;
  f.http.answer("https://mirror.harvel.uz/setup.exe", big);
  EXPECT_FALSE(run(true));
  EXPECT_EQ(record().error, UpdateError::Network);
}

TEST_F(Updater, BodyOverTheLimitFailsWithoutLength) {
  serve(offer());
  fake::FakeHttpAnswer big;
  big.filler_size = kMaxInstallerBytes + 1;
  f.http.answer("https://mirror.harvel.uz/setup.exe", big);
  EXPECT_FALSE(run(true));
  EXPECT_EQ(record().phase, UpdatePhase::Error);
  EXPECT_EQ(record().error, UpdateError::Network);
  EXPECT_FALSE(fs::exists(f.tmp() / "Harvel-Setup-0.2.0.exe.part"));
}

TEST_F(Updater, CancelledDownloadIsRememberedUntilAskedAgain) {
  const std::string body(1000, 'z');
  serve(offer("0.2.0", body));
  fake::FakeHttpAnswer a;
  a.body = body;
  a.chunk = 100;
  a.headers = {{"Content-Length", "1000"}};
  uint32_t pct_at_cancel = 0;
  a.on_read = [&](std::size_t pos) {
    if (pos == 400) {
      pct_at_cancel = f.t.ctx().update.copy().pct;
      cancel_download(f.t.app);
    }
  };
  f.http.answer("https://mirror.harvel.uz/setup.exe", a);
  EXPECT_TRUE(run());
  EXPECT_EQ(pct_at_cancel, 40u);
  UpdateRecord r = record();
  EXPECT_EQ(r.phase, UpdatePhase::Available);
  EXPECT_EQ(r.pct, 0u);
  EXPECT_EQ(r.cancelled_version, "0.2.0");
  EXPECT_FALSE(fs::exists(f.tmp() / "Harvel-Setup-0.2.0.exe.part"));

  f.http.clear_requests();
  EXPECT_TRUE(run());
  EXPECT_EQ(downloads(), 0);
  EXPECT_EQ(record().phase, UpdatePhase::Available);

  a.on_read = nullptr;
  f.http.answer("https://mirror.harvel.uz/setup.exe", a);
  clear_cancelled_version(f.t.app);
  EXPECT_TRUE(run(true));
  EXPECT_EQ(record().phase, UpdatePhase::Ready);
}

TEST_F(Updater, FailedFetch) {
  EXPECT_FALSE(run(false));
  EXPECT_EQ(record().phase, UpdatePhase::Idle);
  EXPECT_EQ(record().error, UpdateError::None);
  EXPECT_GT(record().checked_at, 0u);
  EXPECT_FALSE(run(true));
  EXPECT_EQ(record().phase, UpdatePhase::Error);
  EXPECT_EQ(record().error, UpdateError::Network);
}

TEST_F(Updater, RepeatedUnknownKeysDoNotFailTheCheck) {
  f.http.answer(kManifestUrl, 200, R"({"notes":1,"notes":2,"killSwitch":{"notes":1,"notes":2}})");
  EXPECT_TRUE(run(true));
  EXPECT_EQ(record().phase, UpdatePhase::Idle);
  EXPECT_EQ(record().error, UpdateError::None);
}

TEST_F(Updater, BusyRunReturnsAtOnce) {
  serve(offer());
  updater_flags().busy = true;
  EXPECT_FALSE(run(true));
  EXPECT_TRUE(f.http.requests().empty());
  EXPECT_EQ(record().phase, UpdatePhase::Idle);
}

TEST_F(Updater, UnsignedKillSwitchIsAppliedByTheCheck) {
  ordered_json m = offer("0.1.7");
  m["killSwitch"] = {{"enabled", true}, {"message", "To\u2018xtatildi"}};
  serve(m);
  run();
  EXPECT_EQ(f.t.ctx().remote_disable_message.copy(), "To\u2018xtatildi");
  m.erase("killSwitch");
  serve(m);
  run();
  EXPECT_FALSE(f.t.ctx().remote_disable_message.copy());
}

TEST_F(Updater, InstallStartsOnceAndQuits) {
  serve(offer());
  serve_installer();
  ASSERT_TRUE(run());
  ASSERT_EQ(record().phase, UpdatePhase::Ready);
  EXPECT_EQ(install_downloaded_update_with_key(f.t.app, f.key()), kInstallStarted);
  EXPECT_EQ(install_downloaded_update_with_key(f.t.app, f.key()), kInstallStarted);
  const auto spawned = f.shell.spawned();
  ASSERT_EQ(spawned.size(), 1u);
  EXPECT_EQ(path_from_utf8(spawned[0].program), f.tmp() / "Harvel-Setup-0.2.0.exe");
  // Checked and started as one held file, and let go once started.
  EXPECT_EQ(f.shell.held_starts(), std::vector<std::string>{spawned[0].program});
  EXPECT_EQ(f.shell.holds_open(), 0);
  EXPECT_EQ(spawned[0].args, (std::vector<std::string>{"/UPDATE", "/S", "/R"}));
  EXPECT_EQ(testing::read_text(pending_update_file_path(f.t.app)), "0.2.0");
  EXPECT_TRUE(f.t.ctx().quitting);
  for (int i = 0; i < 100 && f.loop.exits().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(f.loop.exits(), std::vector<int>{0});
}

TEST_F(Updater, InstallerChangedOnDiskIsDeleted) {
  serve(offer());
  serve_installer();
  ASSERT_TRUE(run());
  const fs::path path = record().installer->path;
  testing::write_text(path, "tampered");
  EXPECT_EQ(install_downloaded_update_with_key(f.t.app, f.key()), kInstallIntegrity);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(record().phase, UpdatePhase::Error);
  EXPECT_EQ(record().error, UpdateError::Integrity);
  EXPECT_FALSE(record().installer);
  EXPECT_TRUE(f.shell.spawned().empty());
  EXPECT_EQ(install_downloaded_update_with_key(f.t.app, f.key()), kInstallNothing);
}

TEST(UpdaterHelpers, CandidatesAndContentLength) {
  EXPECT_TRUE(next_download_candidate(std::string("https://x.uz/a.exe"), "https://harvel.uz"));
  EXPECT_TRUE(next_download_candidate(std::string("http://local.test/dl/a.exe"), "http://local.test"));
  EXPECT_FALSE(next_download_candidate(std::string("http://local.test.evil/a.exe"), "http://local.test"));
  EXPECT_FALSE(next_download_candidate(std::string("http://x.uz/a.exe"), "https://harvel.uz"));
  EXPECT_FALSE(next_download_candidate(std::nullopt, "https://harvel.uz"));
  EXPECT_EQ(parse_content_length("123"), 123u);
  EXPECT_EQ(parse_content_length("+7"), 7u);
  EXPECT_FALSE(parse_content_length(""));
  EXPECT_FALSE(parse_content_length("+"));
  EXPECT_FALSE(parse_content_length("-1"));
  EXPECT_FALSE(parse_content_length("1 2"));
  EXPECT_FALSE(parse_content_length("99999999999999999999999"));
}

TEST(UpdaterHelpers, Sha256File) {
  testing::TempDir dir;
  const fs::path file = dir.path() / "f.bin";
  std::string big(200000, 'q');  // several 64 KiB pieces
  testing::write_text(file, big);
  EXPECT_EQ(sha256_file(file), sha256_of(big));
  EXPECT_FALSE(sha256_file(dir.path() / "missing"));
}

}  // namespace
}  // namespace harvel
