#include "text/natural_order.h"

namespace tarnwick {
namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// The digit run of `text` starting at `at`, without its leading zeros;
// `at` moves past the run.
std::string digitRun(const std::string& text, std::string::size_type& at) {
  while (at < text.size() && text[at] == '0') ++at;
  const std::string::size_type start = at;
  while (at < text.size() && isDigit(text[at])) ++at;
  return text.substr(start, at - start);
}

// -1, 0 or 1 as number `a` is below, equal to or above `b` (digits only).
int compareNumbers(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

}  // namespace

bool naturalLess(const std::string& a, const std::string& b) {
  std::string::size_type i = 0;
  std::string::size_type j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      const int order = compareNumbers(digitRun(a, i), digitRun(b, j));
      if (order != 0) return order < 0;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
    ++i;
    ++j;
  }
  // One ran out: the shorter rest comes first; equal rests keep a plain order.
  if ((a.size() - i) != (b.size() - j)) return (a.size() - i) < (b.size() - j);
  return a < b;
}

}  // namespace tarnwick
