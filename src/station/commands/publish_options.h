#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace tarnwick {

// `--publish URL [--outbox DIR] [--cfx-handle HANDLE]`, shared by flash,
// watch and outbox.
struct PublishOptions {
  std::string url;     // amqp[s]://USER:PASSWORD@HOST:PORT/ADDRESS; empty: no publishing
  std::string outbox;  // empty: the per-user state folder's
  std::string handle;  // empty: Tarnwick.Station.<host name>
};

// Adds --publish, --outbox and --cfx-handle to `command`.
void addPublishOptions(CLI::App& command, PublishOptions& options);

}  // namespace tarnwick
