#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/secrets.h"

namespace tarnwick {
namespace {

constexpr std::size_t kMaxSecretBytes = 4096;

std::string octalMode(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

}  // namespace

bool readSecretFile(const std::string& path, std::string& firstLine, std::string& warning,
                    std::string& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot read the password file " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat status {};
  if (fstat(fd, &status) == 0 && (status.st_mode & 077) != 0) {
    warning = "the password file " + path + " can be read by other users than its owner (mode " +
              octalMode(status.st_mode) + "); chmod 600 it";
  }
  std::string text(kMaxSecretBytes, '\0');
  ssize_t got = 0;
  std::size_t size = 0;
  while (size < text.size() && (got = read(fd, &text[size], text.size() - size)) > 0) {
    size += static_cast<std::size_t>(got);
  }
  const int readError = errno;
  close(fd);
  if (got < 0) {
    error = "cannot read the password file " + path + ": " + std::strerror(readError);
    return false;
  }
  text.resize(size);
  firstLine = text.substr(0, text.find_first_of("\r\n"));
  if (firstLine.empty()) {
    error = "the password file " + path + " has no password on its first line";
    return false;
  }
  return true;
}

std::string environmentText(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

// Linux shows the bytes of the process's argument area as they are now, so
// writing over them takes the text out of /proc/PID/cmdline.
void hideInCommandLine(char* argument, std::size_t offset, std::size_t length) {
  const std::size_t size = std::strlen(argument);
  if (offset >= size) return;
  if (length > size - offset) length = size - offset;
  std::memset(argument + offset, '*', length);
}

bool commandLineCanBeHidden() {
  return true;
}

}  // namespace tarnwick
