#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "platform/tls_files.h"

namespace tarnwick {

// `tarnwick-station outbox [--outbox DIR] [--json]`,
// `tarnwick-station outbox [--outbox DIR] --publish URL [--timeout S]` and
// `tarnwick-station outbox [--outbox DIR] --retry-rejected`
struct OutboxOptions {
  std::string outbox;  // empty: the per-user state folder's
  bool json = false;
  std::vector<std::string> publish;  // none: list, do not send; else one per broker
  std::string passwordFile;  // empty: the password is in the URL or TARNWICK_BROKER_PASSWORD
  TlsFiles tls;              // --tls-ca, --tls-cert, --tls-key
  int timeoutSeconds = 30;
  bool retryRejected = false;  // put the refused results back to wait
};

// Adds the `outbox` subcommand to `app`; its options land in `options`.
CLI::App* addOutboxOptions(CLI::App& app, OutboxOptions& options);

}  // namespace tarnwick
