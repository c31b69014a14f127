// SHA-256 through the system's CNG (BCrypt) provider.
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include "platform/sha256.h"

namespace tarnwick {
namespace {

bool succeeded(NTSTATUS status) {
  return status >= 0;
}

class BcryptSha256 final : public Sha256 {
 public:
  BcryptSha256() {
    ready_ =
        succeeded(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
        succeeded(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0));
  }
  ~BcryptSha256() override {
    if (hash_ != nullptr) BCryptDestroyHash(hash_);
    if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  BcryptSha256(const BcryptSha256&) = delete;
  BcryptSha256& operator=(const BcryptSha256&) = delete;

  bool update(const unsigned char* data, std::size_t size) override {
    // BCryptHashData takes at most a ULONG per call.
    constexpr std::size_t kLargestChunk = 1u << 30;
    while (ready_ && size > 0) {
      ULONG chunk = static_cast<ULONG>(size < kLargestChunk ? size : kLargestChunk);
      ready_ = succeeded(BCryptHashData(hash_, const_cast<PUCHAR>(data), chunk, 0));
      data += chunk;
      size -= chunk;
    }
    return ready_;
  }

  bool finish(Digest& digest) override {
    ready_ = ready_ && succeeded(BCryptFinishHash(hash_, digest.data(),
                                                  static_cast<ULONG>(digest.size()), 0));
    return ready_;
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
  bool ready_ = false;
};

}  // namespace

std::unique_ptr<Sha256> makeSystemSha256() {
  return std::make_unique<BcryptSha256>();
}

}  // namespace tarnwick
