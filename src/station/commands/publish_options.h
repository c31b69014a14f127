#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace tarnwick {

// `--publish URL [--broker-password-file FILE] [--outbox DIR] [--cfx-handle
// HANDLE]`, shared by flash and watch (outbox has --publish and the file).
struct PublishOptions {
  std::string url;           // amqp[s]://USER:PASSWORD@HOST:PORT/ADDRESS; empty: no publishing
  std::string outbox;        // empty: the per-user state folder's
  std::string handle;        // empty: Tarnwick.Station.<host name>
  std::string passwordFile;  // empty: the password is in the URL or TARNWICK_BROKER_PASSWORD
};

// Adds --broker-password-file to `command`.
CLI::Option* addPasswordFileOption(CLI::App& command, std::string& passwordFile);

// Adds --publish, --broker-password-file, --outbox and --cfx-handle to `command`.
void addPublishOptions(CLI::App& command, PublishOptions& options);

}  // namespace tarnwick
