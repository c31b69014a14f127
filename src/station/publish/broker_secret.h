#pragma once

#include <string>
#include <vector>

#include "station/publish/broker_address.h"

namespace tarnwick {

// The environment variable a broker password may come from.
constexpr char kBrokerPasswordVariable[] = "TARNWICK_BROKER_PASSWORD";

// What the command line says about the brokers: the `--publish` URLs (one
// per broker of a cluster), `--broker-password-file` and the TLS files
// (`--tls-ca`, `--tls-cert`, `--tls-key`).
struct BrokerLogin {
  std::vector<std::string> urls;
  std::string passwordFile;  // empty: none given
  TlsFiles tls;              // for amqps:// brokers only
};

// The brokers to publish to, each URL parsed, sharing one user and one
// password: a URL without a user takes the first URL's; the password is
// the first URL's, else the password file's first line, else
// TARNWICK_BROKER_PASSWORD's. Every URL must name the same target address.
// TLS files, checked (readable PEM, a certificate with its key), go with
// every broker, and then every URL must be amqps://.
// A password both in a URL and in a file is refused (which one is meant?).
// `warnings` gets what the user should hear on standard error: a password in
// the URL (seen in the process list), a file others may read. False with
// `error` (never quoting a URL or a password) on a bad URL or file.
bool resolveBrokers(const BrokerLogin& login, std::vector<BrokerAddress>& brokers,
                    std::vector<std::string>& warnings, std::string& error);

// The same, with the password taken from `environment` rather than the
// process's own (tests).
bool resolveBrokers(const BrokerLogin& login, const std::string& environment,
                    std::vector<BrokerAddress>& brokers, std::vector<std::string>& warnings,
                    std::string& error);

}  // namespace tarnwick
