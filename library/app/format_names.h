// The standard formats by the names people type: "1.44 MB", "1.44M",
// "1440", "720k".
#pragma once

#include <string>
#include <string_view>

#include "standard_formats.h"

namespace tessil::app {

// "1.44M", "1.44 MB", "720k": the table's names without spaces or a B.
std::string folded_format_name(std::string_view name);

// The standard format `name` names: its name in the table, folded, or its
// size in KB as a plain number ("1440", "2880"); null for none.
const StandardFormat* format_named(std::string_view name);

// Every format's folded name, for a refusal: "160K 180K ... 2.88M".
std::string format_names();

}  // namespace tessil::app
