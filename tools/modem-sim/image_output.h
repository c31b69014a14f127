#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace modemsim {

// Writes `data` to a temporary file beside `path` and renames it over
// `path`, so a reader sees either the old file or the whole new one.
bool writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& data,
                         std::string* error);

}  // namespace modemsim
