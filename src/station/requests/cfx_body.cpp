#include "station/requests/cfx_body.h"

#include <zlib.h>

namespace tarnwick {
namespace {

bool looksGzipped(const std::string& bytes) {
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
         static_cast<unsigned char>(bytes[1]) == 0x8b;
}

// Inflates a gzip stream into `text`, never past kCfxBodyLimit bytes.
bool gunzip(const std::string& bytes, std::string& text, std::string& why) {
  z_stream stream{};
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
    why = "the gzip reader could not be set up";
    return false;
  }
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  char chunk[16384];
  int status = Z_OK;
  while (status == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(chunk);
    stream.avail_out = sizeof chunk;
    status = inflate(&stream, Z_NO_FLUSH);
    text.append(chunk, sizeof chunk - stream.avail_out);
    if (text.size() > kCfxBodyLimit) break;
    // No progress with input left means a truncated stream.
    if (status == Z_BUF_ERROR || (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0))
      break;
  }
  inflateEnd(&stream);
  if (text.size() > kCfxBodyLimit) {
    why = "the body inflates to more than 1 MiB";
    return false;
  }
  if (status != Z_STREAM_END) {
    why = "the body is not valid gzip";
    return false;
  }
  return true;
}

}  // namespace

bool readCfxBody(const std::string& bytes, bool gzip, std::vector<nlohmann::json>& envelopes,
                 std::string& why) {
  if (bytes.size() > kCfxBodyLimit) {
    why = "the body is larger than 1 MiB";
    return false;
  }
  std::string inflated;
  const bool compressed = gzip || looksGzipped(bytes);
  if (compressed && !gunzip(bytes, inflated, why)) return false;
  const std::string& text = compressed ? inflated : bytes;
  nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
  if (parsed.is_discarded()) {
    why = "the body is not JSON";
    return false;
  }
  if (parsed.is_object()) {
    envelopes.push_back(std::move(parsed));
    return true;
  }
  if (!parsed.is_array() || parsed.empty()) {
    why = "the body is neither an envelope nor an array of envelopes";
    return false;
  }
  for (nlohmann::json& envelope : parsed) {
    if (!envelope.is_object()) {
      why = "the body's array holds something other than envelopes";
      return false;
    }
  }
  for (nlohmann::json& envelope : parsed) envelopes.push_back(std::move(envelope));
  return true;
}

}  // namespace tarnwick
