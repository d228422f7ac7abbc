// A fixed text buffer of the job record: at most 299 bytes and a NUL.
#pragma once

#include <array>
#include <string_view>

#include "tessil.h"

namespace tessil {

// The length of `text` cut to at most `limit` bytes without splitting a
// UTF-8 character.
constexpr std::size_t utf8_cut(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t n = limit;
  // A continuation byte (10xxxxxx) at the cut belongs to the character
  // before it.
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0u) == 0x80u) --n;
  return n;
}

class TextField {
 public:
  static constexpr std::size_t capacity = TESSIL_TEXT_SIZE - 1;

  // Copies `text` (null counts as empty). A longer text is cut to the
  // capacity, between two whole UTF-8 characters, and marked, so that a
  // path never gets opened shortened.
  void assign(const char* text) {
    const std::string_view view = text ? std::string_view(text) : std::string_view();
    overflow_ = view.size() > capacity;
    const std::size_t n = overflow_ ? utf8_cut(view, capacity) : view.size();
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
