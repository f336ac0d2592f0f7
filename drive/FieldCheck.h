#pragma once

#include <string>

// The outcome of checking one input field: an empty message means the text is
// good. On a bad text the caller shows the message, puts the focus back into
// the field and, when asked, selects its text.
struct FieldCheck {
  std::string message;
  bool selectText = false;

  bool Ok() const { return message.empty(); }
  static FieldCheck Good() { return {}; }
  static FieldCheck Bad(std::string text, bool select) { return {std::move(text), select}; }
};
