// The foreground keyboard layout: whether it types the letters fast and
// hybrid mode need, and the mode that applies to a program.
#pragma once

#include <string>
#include <string_view>

#include "core/locked.h"
#include "core/mode.h"
#include "core/records.h"

namespace harvel {

struct Settings;
class App;

// The layout's display name and the reason text of the last measurement;
// empty before the first one.
Locked<std::string>& layout_name();
Locked<std::string>& layout_reason();

// The snapshot's "layout": the last measurement, or a compatible US layout
// before the first one.
LayoutInfo current_layout_info();

// Off when conversion is switched off or remotely disabled; else the first
// rule of `exe` (off for a rule "off"), else the general mode.
Mode mode_for_app(const Settings& s, std::string_view exe);

}  // namespace harvel
