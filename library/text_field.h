// A fixed text buffer of the job record: at most 299 bytes and a NUL.
#pragma once

#include <array>
#include <string_view>

#include "tessil.h"

namespace tessil {

class TextField {
 public:
  static constexpr std::size_t capacity = TESSIL_TEXT_SIZE - 1;

  // Copies `text` (null counts as empty). A longer text is cut to the
  // capacity and marked, so that a path never gets opened shortened.
  void assign(const char* text) {
    const std::string_view view = text ? std::string_view(text) : std::string_view();
    overflow_ = view.size() > capacity;
    const std::size_t n = overflow_ ? capacity : view.size();
    view.copy(buffer_.data(), n);
    buffer_[n] = '\0';
  }

  const char* c_str() const { return buffer_.data(); }
  std::string_view view() const { return buffer_.data(); }
  // The caller's text was longer than the field and was cut.
  bool overflowed() const { return overflow_; }

 private:
  std::array<char, TESSIL_TEXT_SIZE> buffer_{};
  bool overflow_ = false;
};

}  // namespace tessil
