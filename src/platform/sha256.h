#pragma once

#include <array>
#include <cstddef>
#include <memory>

namespace tarnwick {

// SHA-256 as the system computes it (libcrypto's EVP interface on Linux,
// BCrypt on Windows).
class Sha256 {
 public:
  using Digest = std::array<unsigned char, 32>;
  virtual ~Sha256() = default;

  // False when the system's hash could not be set up or fed.
  virtual bool update(const unsigned char* data, std::size_t size) = 0;
  virtual bool finish(Digest& digest) = 0;
};

// Null when the system offers no SHA-256.
std::unique_ptr<Sha256> makeSystemSha256();

}  // namespace tarnwick
