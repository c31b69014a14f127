#include <io.h>
#include <windows.h>

#include "platform/terminal.h"

namespace tarnwick {
namespace {

HANDLE consoleHandle(std::FILE* stream) {
  return GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}

}  // namespace

bool isTerminal(std::FILE* stream) {
  DWORD mode = 0;
  return GetConsoleMode(consoleHandle(stream), &mode) != 0;
}

bool enableTerminalEscapes(std::FILE* stream) {
  HANDLE handle = consoleHandle(stream);
  DWORD mode = 0;
  if (!GetConsoleMode(handle, &mode)) return false;
  return SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::size_t terminalColumns(std::FILE* stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(consoleHandle(stream), &info)) return 0;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? static_cast<std::size_t>(columns) : 0;
}

}  // namespace tarnwick
