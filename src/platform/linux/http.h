// The Linux host's HTTP transport (libcurl).
#pragma once

#include "platform/os.h"

namespace harvel::linux_host {

// The process's transport; libcurl is initialised on first use.
os::Http& linux_http();

}  // namespace harvel::linux_host
