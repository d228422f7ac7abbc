#include "json_output.h"

#include <cstdio>
#include <string>

namespace tessil::cli {

void print_json(const app::Json& document) {
  const std::string text = document.dump(2, ' ', false, app::Json::error_handler_t::replace);
  std::fputs(text.c_str(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace tessil::cli
