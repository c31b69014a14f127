#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace tarnwick {

// The most a request or answer body may hold, compressed or not.
constexpr std::size_t kCfxBodyLimit = 1024 * 1024;

// Reads a CFX request or answer body as the SDK sends it: UTF-8 JSON, gzip
// compressed when `gzip` (content-encoding "gzip") or when it starts with
// gzip's magic bytes, holding one envelope or a JSON array of envelopes.
// Each envelope goes into `envelopes`. False with `why` for a body over
// kCfxBodyLimit (before or after inflating), bad gzip, text that is not
// JSON, or JSON that is neither an object nor an array of objects.
bool readCfxBody(const std::string& bytes, bool gzip, std::vector<nlohmann::json>& envelopes,
                 std::string& why);

}  // namespace tarnwick
