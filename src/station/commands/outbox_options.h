#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace tarnwick {

// `tarnwick-station outbox [--outbox DIR] [--json]`,
// `tarnwick-station outbox [--outbox DIR] --publish URL [--timeout S]` and
// `tarnwick-station outbox [--outbox DIR] --retry-rejected`
struct OutboxOptions {
  std::string outbox;  // empty: the per-user state folder's
  bool json = false;
  std::string publish;  // empty: list, do not send
  int timeoutSeconds = 30;
  bool retryRejected = false;  // put the refused results back to wait
};

// Adds the `outbox` subcommand to `app`; its options land in `options`.
CLI::App* addOutboxOptions(CLI::App& app, OutboxOptions& options);

}  // namespace tarnwick
