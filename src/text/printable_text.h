#pragma once

#include <cstddef>
#include <string>

namespace tarnwick {

// Text from a device (a serial, a version answer, a reply in a reason) as it
// may be shown on a terminal: control bytes (C0, DEL, and C1 in UTF-8) and
// bytes that are not UTF-8 become "\xHH", so a device cannot clear the
// screen, ring the bell or overwrite rows. Printable text is unchanged.
std::string printableText(const std::string& text);

// How many terminal columns `text` takes: one per character (UTF-8 lead or
// single byte); control sequences (ESC [ ... final byte) take none.
std::size_t displayWidth(const std::string& text);

// `text` cut to at most `width` columns, its last kept column a '~' when
// anything was cut. A width of 0 means no limit.
std::string cutToWidth(const std::string& text, std::size_t width);

}  // namespace tarnwick
