// The key guard's program (keys/guard.h), started by the keyboard hook with
// its end of the link as descriptor 3 and the keysyms to keep a key for:
//   harvel-keys --keep=KEYSYM,KEYSYM,...
#include <signal.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux/keys/guard.h"
#include "platform/linux/keys/link.h"

int main(int argc, char** argv) {
  std::vector<uint32_t> kept;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--keep=", 0) != 0) continue;
    std::size_t pos = 7;
    while (pos < arg.size()) {
      std::size_t end = arg.find(',', pos);
      if (end == std::string::npos) end = arg.size();
      const unsigned long sym = std::strtoul(arg.substr(pos, end - pos).c_str(), nullptr, 0);
      if (sym != 0 && sym <= 0x1FFFFFFF) kept.push_back(static_cast<uint32_t>(sym));
      pos = end + 1;
    }
  }
  // A closed link shows as an error of the call, not a signal.
  signal(SIGPIPE, SIG_IGN);
  return harvel::linux_host::run_key_guard(harvel::linux_host::kGuardFd, std::move(kept));
}
