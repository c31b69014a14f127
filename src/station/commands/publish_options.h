#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "platform/tls_files.h"

namespace tarnwick {

// `--publish URL [--broker-password-file FILE] [--outbox DIR] [--cfx-handle
// HANDLE]`, shared by flash and watch (outbox has --publish and the file).
struct PublishOptions {
  // amqp[s]://USER@HOST:PORT/ADDRESS, one per broker of a cluster; none: no publishing
  std::vector<std::string> urls;
  std::string outbox;        // empty: the per-user state folder's
  std::string handle;        // empty: Tarnwick.Station.<host name>
  std::string passwordFile;  // empty: the password is in the URL or TARNWICK_BROKER_PASSWORD
  TlsFiles tls;              // --tls-ca, --tls-cert, --tls-key
};

// Adds --publish URL, repeatable (one value each time), to `command`.
CLI::Option* addPublishOption(CLI::App& command, std::vector<std::string>& urls,
                              const std::string& what);

// Adds --broker-password-file to `command`.
CLI::Option* addPasswordFileOption(CLI::App& command, std::string& passwordFile);

// Adds --tls-ca, --tls-cert and --tls-key to `command`.
void addTlsOptions(CLI::App& command, TlsFiles& files);

// Adds --publish, --broker-password-file, --tls-ca, --tls-cert, --tls-key, --outbox and
// --cfx-handle to `command`.
void addPublishOptions(CLI::App& command, PublishOptions& options);

}  // namespace tarnwick
