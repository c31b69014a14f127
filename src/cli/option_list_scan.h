#pragma once

#include <string>

namespace tarnwick {

// What the option scan of the option-list download gathered.
struct OptionList {
  int argvIndex = 1;
  std::string fileName;
  int comPort = 0;
  std::string vid;
  std::string pid;
  bool fileSpecified = false;
  bool comSpecified = false;
  bool vidSpecified = false;
  bool pidSpecified = false;
  bool optionsValid = true;
};

// Reads the leading options. False when the form must end at once (an
// unknown option, or a "-f" value that is not an image name); the messages
// have been printed then, "download failed" included.
bool scanOptions(int argc, char** argv, OptionList& options);

}  // namespace tarnwick
