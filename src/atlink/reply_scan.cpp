#include "atlink/reply_scan.h"

#include <algorithm>
#include <cstring>

namespace tarnwick {
namespace {

bool endsWith(const std::string& text, const std::string& tail) {
  return !tail.empty() && text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The first `wanted` byte in [from, end), or end.
const char* findByte(const char* from, const char* end, char wanted) {
  const void* hit = std::memchr(from, wanted, static_cast<std::size_t>(end - from));
  return hit == nullptr ? end : static_cast<const char*>(hit);
}

// The next place in a run where a byte needs a look of its own: one byte
// value, searched for again only once the scan has passed its last hit.
class ByteMark {
 public:
  ByteMark(bool wanted, char value, const char* from, const char* end)
      : wanted_(wanted),
        value_(value),
        end_(end),
        next_(wanted ? findByte(from, end, value) : end) {}

  const char* next() const { return next_; }
  void passed(const char* at) {
    if (wanted_ && next_ == at) next_ = findByte(at + 1, end_, value_);
  }

 private:
  bool wanted_;
  char value_;
  const char* end_;
  const char* next_;
};

}  // namespace

ReplyScan scanReplyRun(const char* run, std::size_t size, const std::string& terminatorA,
                       const std::string& terminatorB, std::string& reply) {
  const char* const end = run + size;
  // A terminator can only be completed by its own last byte. When both end
  // in the same byte (both end in a line feed), one search serves both.
  const bool hasA = !terminatorA.empty();
  const bool hasB = !terminatorB.empty();
  const char lastA = hasA ? terminatorA.back() : 0;
  const char lastB = hasB ? terminatorB.back() : 0;
  ByteMark nul(true, 0, run, end);
  ByteMark tailA(hasA, lastA, run, end);
  ByteMark tailB(hasB && !(hasA && lastA == lastB), lastB, run, end);
  const char* at = run;
  while (at < end) {
    const char* stop = std::min({nul.next(), tailA.next(), tailB.next()});
    reply.append(at, stop);
    if (stop == end) break;
    at = stop + 1;
    nul.passed(stop);
    tailA.passed(stop);
    tailB.passed(stop);
    if (*stop == 0) continue;
    reply.push_back(*stop);
    // Collection stops at the first complete terminator, so a terminator
    // can only newly occur as the tail of the reply.
    if ((hasA && *stop == lastA && endsWith(reply, terminatorA)) ||
        (hasB && *stop == lastB && endsWith(reply, terminatorB))) {
      return ReplyScan{static_cast<std::size_t>(at - run), true};
    }
  }
  return ReplyScan{size, false};
}

}  // namespace tarnwick
