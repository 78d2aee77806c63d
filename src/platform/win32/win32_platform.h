// The Windows system behind the seam.
#pragma once

namespace harvel::win32 {

// Installs the Windows implementations as the process-wide platform.
void install_win32_platform();

}  // namespace harvel::win32
