#include "text/printable_text.h"

#include <cstdio>

namespace tarnwick {
namespace {

bool isContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at `at` (shortest form, no
// surrogates, at most U+10FFFF), or 0 when there is none.
std::size_t sequenceLength(const std::string& text, std::size_t at, unsigned long& codePoint) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  if (lead >= 0xE0 && lead <= 0xEF) length = 3;
  if (lead >= 0xF0 && lead <= 0xF4) length = 4;
  if (length == 0 || at + length > text.size()) return 0;
  codePoint = lead & (0xFF >> (length + 1));
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if (!isContinuation(next)) return 0;
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  static const unsigned long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
  if (codePoint < kSmallest[length] || surrogate || codePoint > 0x10FFFF) return 0;
  return length;
}

void appendEscaped(std::string& out, unsigned char byte) {
  char escaped[5];
  std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
  out += escaped;
}

}  // namespace

std::string printableText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      if (byte < 0x20 || byte == 0x7F) {
        appendEscaped(out, byte);
      } else {
        out += static_cast<char>(byte);
      }
      ++at;
      continue;
    }
    unsigned long codePoint = 0;
    const std::size_t length = sequenceLength(text, at, codePoint);
    if (length == 0 || codePoint <= 0x9F) {
      // A C1 control is escaped byte by byte, as anything not UTF-8 is.
      const std::size_t bytes = length == 0 ? 1 : length;
      for (std::size_t i = 0; i < bytes; ++i)
        appendEscaped(out, static_cast<unsigned char>(text[at + i]));
      at += bytes;
      continue;
    }
    out.append(text, at, length);
    at += length;
  }
  return out;
}

std::size_t displayWidth(const std::string& text) {
  std::size_t width = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\x1b' && at + 1 < text.size() && text[at + 1] == '[') {
      // A control sequence (the views' own colours) takes no column.
      at += 2;
      while (at < text.size() && (text[at] < 0x40 || text[at] > 0x7e)) ++at;
      continue;
    }
    width += isContinuation(static_cast<unsigned char>(text[at])) ? 0 : 1;
  }
  return width;
}

std::string cutToWidth(const std::string& text, std::size_t width) {
  if (width == 0 || displayWidth(text) <= width) return text;
  std::size_t kept = 0;
  std::size_t at = 0;
  // Keep width - 1 characters, then the mark.
  while (at < text.size()) {
    if (!isContinuation(static_cast<unsigned char>(text[at]))) {
      if (kept == width - 1) break;
      ++kept;
    }
    ++at;
  }
  return text.substr(0, at) + "~";
}

}  // namespace tarnwick
