#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace tarnwick {

// `tarnwick-station teach --slots FILE LABEL...`
struct TeachOptions {
  std::string slots;
  std::vector<std::string> labels;
};

CLI::App* addTeachOptions(CLI::App& app, TeachOptions& options);

}  // namespace tarnwick
