#include "station/publish/broker_tls.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace tarnwick {
namespace {

// PEM files are small; a larger one is no certificate or key of ours.
constexpr std::size_t kMaxPemBytes = 1 << 20;

bool readPem(const std::string& option, const std::string& path, std::string& text,
             std::string& error) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  if (!in) {
    error = option + " " + path + ": cannot be read";
    return false;
  }
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad() || text.size() > kMaxPemBytes) {
    error = option + " " + path + ": cannot be read as a PEM file";
    return false;
  }
  return true;
}

// True when `text` holds a PEM block whose label ends with `label`
// ("CERTIFICATE"; "PRIVATE KEY" also takes "RSA PRIVATE KEY", "EC ...").
bool holdsPem(const std::string& text, const std::string& label) {
  for (std::size_t at = text.find("-----BEGIN "); at != std::string::npos;
       at = text.find("-----BEGIN ", at + 1)) {
    const std::size_t end = text.find("-----", at + 11);
    if (end == std::string::npos) return false;
    const std::string found = text.substr(at + 11, end - at - 11);
    if (found.size() >= label.size() &&
        found.compare(found.size() - label.size(), label.size(), label) == 0 &&
        text.find("-----END " + found + "-----", end) != std::string::npos) {
      return true;
    }
  }
  return false;
}

bool checkPem(const std::string& option, const std::string& path, const std::string& label,
              std::string& error) {
  if (path.empty()) return true;
  std::string text;
  if (!readPem(option, path, text, error)) return false;
  if (holdsPem(text, label)) return true;
  error = option + " " + path + ": holds no PEM " +
          (label == "CERTIFICATE" ? "certificate" : "private key");
  return false;
}

}  // namespace

bool checkTlsFiles(const TlsFiles& files, std::string& error) {
  if (files.certFile.empty() != files.keyFile.empty()) {
    error = files.certFile.empty() ? "--tls-key needs --tls-cert (the key's certificate)"
                                   : "--tls-cert needs --tls-key (the certificate's private key)";
    return false;
  }
  return checkPem("--tls-ca", files.caFile, "CERTIFICATE", error) &&
         checkPem("--tls-cert", files.certFile, "CERTIFICATE", error) &&
         checkPem("--tls-key", files.keyFile, "PRIVATE KEY", error);
}

std::string tlsFailureText(const std::string& problem, const std::string& host,
                           const TlsFiles& files) {
  if (problem.find("certificate verify failed") == std::string::npos &&
      problem.find("certificate verification error") == std::string::npos) {
    return problem;
  }
  const std::string trusted =
      files.caFile.empty() ? "the system's trusted roots" : "the CA in " + files.caFile;
  return "certificate verify failed: the broker's certificate is not signed by " + trusted +
         " or does not name " + host + " (" + problem + ")";
}

}  // namespace tarnwick
