// The JSON documents of --json: one document on standard output, with the
// same facts as the text, for scripts.
#pragma once

#include "app/json_facts.h"

namespace tessil::cli {

// Writes `document` to standard output. Labels and paths are bytes, not
// always UTF-8: what is not valid UTF-8 is replaced, never a failure.
void print_json(const app::Json& document);

}  // namespace tessil::cli
