#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/state_folder.h"

namespace tarnwick {
namespace {

// An environment variable's value when it names an absolute path (the XDG
// rules say a relative one is to be ignored).
std::string absolutePathVariable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return "";
  return value;
}

std::string homeFolder() {
  std::string home = absolutePathVariable("HOME");
  if (!home.empty()) return home;
  const passwd* user = getpwuid(getuid());
  if (user != nullptr && user->pw_dir != nullptr && user->pw_dir[0] == '/') return user->pw_dir;
  return "";
}

}  // namespace

bool defaultOutboxFolder(std::string& folder, std::string& why) {
  std::string state = absolutePathVariable("XDG_STATE_HOME");
  if (state.empty()) {
    const std::string home = homeFolder();
    if (home.empty()) {
      why = "neither XDG_STATE_HOME nor HOME names a folder";
      return false;
    }
    state = home + "/.local/state";
  }
  while (state.size() > 1 && state.back() == '/') state.pop_back();
  folder = state + "/tarnwick/outbox";
  return true;
}

}  // namespace tarnwick
