#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

#include "host_fixture.h"

namespace harvel::linux_host {
namespace {

using testing::pump_until;

std::string unique_id(const char* what) { return std::string("uz.harvel.test.") + what + "." + std::to_string(getpid()); }

TEST(LinuxSingleInstance, ASecondStartReachesTheFirst) {
  testing::start_host_once();
  auto& loop = *static_cast<LinuxEventLoop*>(os::platform().event_loop);
  const std::string id = unique_id("second");
  std::vector<std::vector<std::string>> starts;
  std::string cwd;
  LinuxSingleInstance first(loop);
  ASSERT_TRUE(first.acquire(id, {"harvel"}, [&](std::vector<std::string> args, std::string folder) {
    starts.push_back(std::move(args));
    cwd = std::move(folder);
  }));

  LinuxSingleInstance second(loop);
  EXPECT_FALSE(second.acquire(id, {"harvel", "--hidden", "a b", ""}, {}));
  ASSERT_TRUE(pump_until([&] { return starts.size() == 1; }));
  EXPECT_EQ(starts[0], (std::vector<std::string>{"harvel", "--hidden", "a b", ""}));
  char here[PATH_MAX];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  EXPECT_EQ(cwd, here);

  LinuxSingleInstance third(loop);
  EXPECT_FALSE(third.acquire(id, {}, {}));
  ASSERT_TRUE(pump_until([&] { return starts.size() == 2; }));
  EXPECT_TRUE(starts[1].empty());

  // Another identifier is another program.
  LinuxSingleInstance other(loop);
  EXPECT_TRUE(other.acquire(unique_id("other"), {}, {}));
}

TEST(LinuxSingleInstance, AnOverLongStartIsDroppedAndItsSenderLives) {
  testing::start_host_once();
  auto& loop = *static_cast<LinuxEventLoop*>(os::platform().event_loop);
  const std::string id = unique_id("long");
  int starts = 0;
  LinuxSingleInstance first(loop);
  ASSERT_TRUE(first.acquire(id, {}, [&](std::vector<std::string>, std::string) { ++starts; }));

  // Far more than the first copy reads: it hangs up part-way, and the sender
  // (this very process) must survive the broken connection, with SIGPIPE as
  // a program starts with it.
  struct sigaction saved {};
  struct sigaction fatal {};
  fatal.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &fatal, &saved);
  std::atomic<bool> done{false};
  bool result = true;
  std::thread sender([&] {
    LinuxSingleInstance second(loop);
    result = second.acquire(id, {"harvel", std::string(8 << 20, 'x')}, {});
    done = true;
  });
  EXPECT_TRUE(pump_until([&] { return done.load(); }));
  sender.join();
  sigaction(SIGPIPE, &saved, nullptr);
  EXPECT_FALSE(result) << "a first copy runs";
  testing::pump_for(0.2);
  EXPECT_EQ(starts, 0) << "a part of the arguments was taken for a start";

  // A whole start still arrives.
  LinuxSingleInstance third(loop);
  EXPECT_FALSE(third.acquire(id, {"harvel"}, {}));
  EXPECT_TRUE(pump_until([&] { return starts == 1; }));
}

TEST(LinuxSingleInstance, TheNameIsTheUsersAndTheDisplays) {
  const std::string name = LinuxSingleInstance::socket_name("uz.harvel.desktop");
  EXPECT_EQ(name.rfind("uz.harvel.desktop.uid" + std::to_string(getuid()) + ".display", 0), 0u) << name;
  EXPECT_NE(name.find(std::getenv("DISPLAY")), std::string::npos) << name;

  // Names of one display give one key; the screen number is no display.
  const std::vector<std::vector<const char*>> same = {
      {":0", ":0.0", ":0.1", "unix:0", "unix:0.0", ":00"},
      {"host:1", "host:1.0", "HOST:1.2"},
      {"", nullptr},
  };
  std::vector<std::string> keys;
  for (const auto& group : same) {
    const std::string key = LinuxSingleInstance::display_key(group[0]);
    for (const char* d : group) EXPECT_EQ(LinuxSingleInstance::display_key(d), key) << (d ? d : "(unset)");
    keys.push_back(key);
  }
  for (const char* d : {":1", ":10", "host:0", "other:1", "localhost:0"}) keys.push_back(LinuxSingleInstance::display_key(d));
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end()) << "two displays share a key";
  // Whatever the text, the key stays a plain name.
  EXPECT_EQ(LinuxSingleInstance::display_key("a/b\n:0 x"), "a_b_:0_x");
}

// Sets DISPLAY for the life of the object.
class DisplayAs {
 public:
  explicit DisplayAs(const char* value) {
    if (const char* d = std::getenv("DISPLAY")) saved_ = d;
    setenv("DISPLAY", value, 1);
  }
  ~DisplayAs() {
    if (saved_) {
      setenv("DISPLAY", saved_->c_str(), 1);
    } else {
      unsetenv("DISPLAY");
    }
  }

 private:
  std::optional<std::string> saved_;
};

TEST(LinuxSingleInstance, OneDisplayUnderTwoNamesHasOneCopy) {
  testing::start_host_once();
  auto& loop = *static_cast<LinuxEventLoop*>(os::platform().event_loop);
  const std::string id = unique_id("display");
  int starts = 0;
  LinuxSingleInstance first(loop);
  {
    DisplayAs d(":7");
    ASSERT_TRUE(first.acquire(id, {}, [&](std::vector<std::string>, std::string) { ++starts; }));
  }
  {
    DisplayAs d(":7.0");
    LinuxSingleInstance second(loop);
    EXPECT_FALSE(second.acquire(id, {}, {}));
  }
  EXPECT_TRUE(pump_until([&] { return starts == 1; }));
  {
    DisplayAs d(":8");
    LinuxSingleInstance elsewhere(loop);
    EXPECT_TRUE(elsewhere.acquire(id, {}, {}));
  }
}

// The claim lives in the user's runtime folder, which no other user may
// write: another user listening on any name (here the abstract name earlier
// copies used) neither stops a second start from reaching the first copy
// nor is told anything.
TEST(LinuxSingleInstance, AnotherUserCannotHoldTheName) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to listen as another user";
  testing::start_host_once();
  auto& loop = *static_cast<LinuxEventLoop*>(os::platform().event_loop);
  const std::string id = unique_id("stranger");
  const std::string name = LinuxSingleInstance::socket_name(id);
  const std::optional<std::string> runtime = LinuxSingleInstance::runtime_folder();
  ASSERT_TRUE(runtime) << "the test runs with a runtime folder of its own";
  int ready[2];
  int report[2];
  int done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(report), 0);
  ASSERT_EQ(pipe(done), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The other user (nobody): listens on the abstract name until told the
    // starts are over, then tells how many bytes the connections it took
    // brought (-1: none came); and first whether it could make a file in
    // the runtime folder.
    close(done[1]);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, name.data(), name.size());
    const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd, 4) != 0) {
      _exit(2);
    }
    const bool planted = ::open((*runtime + "/" + id + ".planted").c_str(), O_CREAT | O_WRONLY, 0666) >= 0;
    (void)!write(ready[1], planted ? "p" : "r", 1);
    long got = -1;
    pollfd p[2] = {{fd, POLLIN, 0}, {done[0], POLLIN, 0}};
    while (poll(p, 2, 60000) > 0 && !(p[1].revents & (POLLIN | POLLHUP))) {
      if (!(p[0].revents & POLLIN)) continue;
      const int c = ::accept(fd, nullptr, nullptr);
      char buf[4096];
      got = std::max(got, 0L);
      for (ssize_t n; (n = ::read(c, buf, sizeof buf)) > 0;) got += n;
      ::close(c);
    }
    (void)!write(report[1], &got, sizeof got);
    _exit(0);
  }
  close(ready[1]);
  close(report[1]);
  close(done[0]);
  char r = 0;
  ASSERT_EQ(read(ready[0], &r, 1), 1) << "the other user could not listen";
  EXPECT_EQ(r, 'r') << "the other user could write in the runtime folder";

  int starts = 0;
  LinuxSingleInstance first(loop);
  EXPECT_TRUE(first.acquire(id, {"harvel"}, [&](std::vector<std::string>, std::string) { ++starts; }));
  LinuxSingleInstance second(loop);
  EXPECT_FALSE(second.acquire(id, {"harvel", "--secret"}, {})) << "two copies would run";
  EXPECT_TRUE(pump_until([&] { return starts == 1; }));
  close(done[1]);
  long got = -2;
  EXPECT_EQ(read(report[0], &got, sizeof got), static_cast<ssize_t>(sizeof got));
  EXPECT_LE(got, 0) << "the other user was handed a start";
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(status, 0);
  close(ready[0]);
  close(report[0]);
}

// The runtime folder counts only when it is the user's alone.
TEST(LinuxSingleInstance, TheRuntimeFolderIsTheUsersAlone) {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  ASSERT_NE(xdg, nullptr) << "the test runs with a runtime folder of its own";
  const std::string saved = xdg;
  EXPECT_EQ(LinuxSingleInstance::runtime_folder(), saved);
  char open_template[] = "/tmp/harvel-open-XXXXXX";
  ASSERT_NE(mkdtemp(open_template), nullptr);
  chmod(open_template, 01777);
  setenv("XDG_RUNTIME_DIR", open_template, 1);
  EXPECT_NE(LinuxSingleInstance::runtime_folder(), std::string(open_template)) << "others may write there";
  setenv("XDG_RUNTIME_DIR", "relative/folder", 1);
  EXPECT_NE(LinuxSingleInstance::runtime_folder(), std::string("relative/folder"));
  setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  rmdir(open_template);

  testing::start_host_once();
  auto& loop = *static_cast<LinuxEventLoop*>(os::platform().event_loop);
  const std::string id = unique_id("files");
  {
    LinuxSingleInstance first(loop);
    ASSERT_TRUE(first.acquire(id, {}, {}));
    bool lock = false;
    bool socket = false;
    for (const auto& e : std::filesystem::directory_iterator(saved)) {
      const std::string n = e.path().filename().string();
      lock |= n.rfind(id, 0) == 0 && n.ends_with(".lock");
      socket |= n.rfind(id, 0) == 0 && n.ends_with(".socket") && e.is_socket();
    }
    EXPECT_TRUE(lock && socket);
  }
  for (const auto& e : std::filesystem::directory_iterator(saved)) {
    const std::string n = e.path().filename().string();
    EXPECT_FALSE(n.rfind(id, 0) == 0 && n.ends_with(".socket")) << "the socket outlived its copy";
  }
}

TEST(LinuxSingleInstance, TheFirstCopyEndingFreesTheName) {
  testing::start_host_once();
  auto& loop = *static_cast<LinuxEventLoop*>(os::platform().event_loop);
  const std::string id = unique_id("freed");
  {
    LinuxSingleInstance first(loop);
    ASSERT_TRUE(first.acquire(id, {}, {}));
  }
  LinuxSingleInstance next(loop);
  EXPECT_TRUE(next.acquire(id, {}, {}));
}

}  // namespace
}  // namespace harvel::linux_host
