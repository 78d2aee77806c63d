#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <climits>
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
