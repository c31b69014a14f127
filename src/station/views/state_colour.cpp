#include "station/views/state_colour.h"

#include <cstdlib>

#include "platform/terminal.h"

namespace tarnwick {
namespace {

bool startsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

const char* escapeOf(Tone tone) {
  switch (tone) {
    case Tone::Good:
      return "\x1b[32m";
    case Tone::Bad:
      return "\x1b[1;31m";
    case Tone::Caution:
      return "\x1b[33m";
    case Tone::Operator:
      return "\x1b[7;32m";
    case Tone::Plain:
      break;
  }
  return "";
}

}  // namespace

bool colourWanted(ColorMode mode, bool terminal, bool escapesTaken, const char* noColor) {
  if (noColor != nullptr && *noColor != '\0') return false;
  if (mode == ColorMode::Never) return false;
  // Nothing goes out as raw escape codes to a console that does not take them.
  if (terminal && !escapesTaken) return false;
  return mode == ColorMode::Always || terminal;
}

bool colourWantedOn(ColorMode mode, std::FILE* stream) {
  const bool terminal = isTerminal(stream);
  const bool escapesTaken = terminal && enableTerminalEscapes(stream);
  return colourWanted(mode, terminal, escapesTaken, std::getenv("NO_COLOR"));
}

Tone toneOfState(const std::string& state) {
  if (startsWith(state, "PASS, re-plug")) return Tone::Operator;
  if (startsWith(state, "PASS, ")) return Tone::Plain;  // unplugged, its check to come
  if (startsWith(state, "PASS") || startsWith(state, "VERIFIED")) return Tone::Good;
  if (startsWith(state, "FAIL") || startsWith(state, "MISMATCH") || startsWith(state, "REFUSED")) {
    return Tone::Bad;
  }
  if (startsWith(state, "ABORTED") || startsWith(state, "UNVERIFIED")) return Tone::Caution;
  return Tone::Plain;
}

Tone toneOfFault(FaultSeverity severity) {
  switch (severity) {
    case FaultSeverity::Information:
      return Tone::Plain;
    case FaultSeverity::Warning:
      return Tone::Caution;
    case FaultSeverity::Error:
    case FaultSeverity::Alarm:
      break;
  }
  return Tone::Bad;
}

std::string painted(const std::string& text, Tone tone) {
  if (tone == Tone::Plain) return text;
  return escapeOf(tone) + text + "\x1b[0m";
}

std::string paintedLines(const std::string& text, const std::vector<Tone>& tones, bool colour) {
  if (!colour) return text;
  std::string out;
  std::size_t line = 0;
  for (std::size_t start = 0; start < text.size(); ++line) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    out +=
        painted(text.substr(start, end - start), line < tones.size() ? tones[line] : Tone::Plain);
    if (end < text.size()) out += '\n';
    start = end + 1;
  }
  return out;
}

}  // namespace tarnwick
