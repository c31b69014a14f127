// SHA-256 through OpenSSL's EVP interface (the low-level calls are deprecated).
#include <openssl/evp.h>

#include "platform/sha256.h"

namespace tarnwick {
namespace {

class EvpSha256 final : public Sha256 {
 public:
  EvpSha256() : context_(EVP_MD_CTX_new()) {
    ready_ = context_ != nullptr && EVP_DigestInit_ex(context_, EVP_sha256(), nullptr) == 1;
  }
  ~EvpSha256() override { EVP_MD_CTX_free(context_); }
  EvpSha256(const EvpSha256&) = delete;
  EvpSha256& operator=(const EvpSha256&) = delete;

  bool update(const unsigned char* data, std::size_t size) override {
    ready_ = ready_ && EVP_DigestUpdate(context_, data, size) == 1;
    return ready_;
  }

  bool finish(Digest& digest) override {
    unsigned int length = 0;
    ready_ = ready_ && EVP_DigestFinal_ex(context_, digest.data(), &length) == 1 &&
             length == digest.size();
    return ready_;
  }

 private:
  EVP_MD_CTX* context_;
  bool ready_ = false;
};

}  // namespace

std::unique_ptr<Sha256> makeSystemSha256() {
  return std::make_unique<EvpSha256>();
}

}  // namespace tarnwick
