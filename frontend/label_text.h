// The label of an image as the library holds it: a field of 300 bytes with
// its NUL, so at most 299 bytes of text in the locale's encoding.
#pragma once

#include <QString>

#include "tessil.h"

class QLineEdit;

namespace label_text {

constexpr qsizetype max_bytes = TESSIL_TEXT_SIZE - 1;
constexpr qsizetype buffer_length = TESSIL_TEXT_SIZE;

// The longest start of `text` that fits the library's field, cut between
// whole characters.
QString fitted(const QString& text);

// The buffer getimageinfo fills: 300 blanks.
QString blankBuffer();

// What getimageinfo left in the buffer, up to its first NUL.
QString fromBuffer(const QString& buffer);

// Keeps what the user types or pastes into `box` within the field; a text
// set by the program stays as it is.
void limitUserInput(QLineEdit& box);

}  // namespace label_text
