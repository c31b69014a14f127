#include "proc_stat.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace benchmeasure {
namespace {

bool readFile(const std::string& path, std::string* text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  text->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

bool readCpuTicks(pid_t pid, unsigned long long* ticks) {
  std::string text;
  if (!readFile("/proc/" + std::to_string(pid) + "/stat", &text)) return false;
  // The command name (field 2) may hold spaces and parentheses: the fields
  // that follow start after the last ')'. utime and stime are fields 14, 15.
  const std::string::size_type close = text.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream fields(text.substr(close + 1));
  std::string skipped;
  for (int field = 3; field <= 13; ++field) fields >> skipped;
  unsigned long long user = 0;
  unsigned long long system = 0;
  if (!(fields >> user >> system)) return false;
  *ticks = user + system;
  return true;
}

double ticksToSeconds(unsigned long long ticks) {
  return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long readPeakRssKib(pid_t pid) {
  std::string text;
  if (!readFile("/proc/" + std::to_string(pid) + "/status", &text)) return -1;
  const std::string::size_type at = text.find("\nVmHWM:");
  if (at == std::string::npos) return -1;
  return std::strtol(text.c_str() + at + 7, nullptr, 10);
}

std::vector<pid_t> processesWithEnvironment(const std::string& entry) {
  std::vector<pid_t> found;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return found;
  while (const dirent* item = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atol(item->d_name));
    std::string environment;
    if (pid <= 0 || !readFile(std::string("/proc/") + item->d_name + "/environ", &environment)) {
      continue;
    }
    // NUL-separated NAME=VALUE entries.
    for (std::string::size_type start = 0; start < environment.size();) {
      const std::string::size_type end = environment.find('\0', start);
      const std::string::size_type stop = end == std::string::npos ? environment.size() : end;
      if (environment.compare(start, stop - start, entry) == 0) {
        found.push_back(pid);
        break;
      }
      start = stop + 1;
    }
  }
  closedir(proc);
  return found;
}

}  // namespace benchmeasure
