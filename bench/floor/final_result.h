#pragma once

#include <cstddef>

namespace benchfloor {

// How a modem reply collected so far stands.
enum class FinalResult {
  Pending,  // no final result at its end yet: keep reading
  Ok,       // ends with "\r\nOK\r\n"
  Error,    // ends with "\r\nERROR\r\n"
};

// Looks only at the end of the reply: with stop-and-wait the modem sends
// nothing after the final result, so it is always the last thing read.
FinalResult finalResultOf(const char* reply, std::size_t size);

}  // namespace benchfloor
