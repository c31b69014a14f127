#include "diag/console_print.h"

#include <cstdarg>
#include <cstdio>

namespace tarnwick {
namespace {

void writeFlushed(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

void formatFlushed(std::FILE* stream, const char* format, va_list args) {
  std::vfprintf(stream, format, args);
  std::fflush(stream);
}

}  // namespace

void consolePrint(const char* format, ...) {
  va_list args;
  va_start(args, format);
  formatFlushed(stdout, format, args);
  va_end(args);
}

void consoleWarn(const char* format, ...) {
  // Standard output first: what was printed before this line stays before it.
  std::fflush(stdout);
  va_list args;
  va_start(args, format);
  formatFlushed(stderr, format, args);
  va_end(args);
}

void consoleWrite(const std::string& text) {
  writeFlushed(stdout, text);
}

void consoleWarnWrite(const std::string& text) {
  std::fflush(stdout);
  writeFlushed(stderr, text);
}

}  // namespace tarnwick
