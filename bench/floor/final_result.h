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

// The first final result that ends at a line feed among the reply's bytes
// from `from` on (the ones a read has just added): only those bytes are
// scanned, and only at a line feed is the reply's end there compared.
FinalResult finalResultIn(const char* reply, std::size_t size, std::size_t from);

}  // namespace benchfloor
