#pragma once

#include <string>

#include "platform/tls_files.h"

namespace tarnwick {

// Checks the TLS files a user gave before anything is sent: each one
// readable and holding PEM of its kind (a certificate in the CA and client
// certificate files, a private key in the key file), and a client
// certificate given with its key and a key with its certificate. False
// with `error` naming the option and the file; a key's text is never
// quoted.
bool checkTlsFiles(const TlsFiles& files, std::string& error);

// What the operator reads when a TLS connection fails: a refused
// certificate (OpenSSL's "certificate verify failed", SChannel's
// "certificate verification error") becomes "certificate verify failed:
// ..." naming what was checked (the chain against the CA file or the
// system's store, and `host`), with the TLS library's own words after it;
// any other text comes back unchanged.
std::string tlsFailureText(const std::string& problem, const std::string& host,
                           const TlsFiles& files);

}  // namespace tarnwick
