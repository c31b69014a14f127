#include <openssl/x509.h>

#include "platform/tls_files.h"

namespace tarnwick {

// OpenSSL reads PEM itself: the paths are handed on as they are. A client
// certificate needs a trust file beside it: without a CA file, OpenSSL's
// own default bundle (the system's trusted roots).
bool prepareTlsLibraryFiles(const TlsFiles& files, TlsLibraryFiles& library, std::string&) {
  library = TlsLibraryFiles{};
  library.trustDb = files.caFile;
  library.certificate = files.certFile;
  library.key = files.keyFile;
  if (library.trustDb.empty() && !library.certificate.empty())
    library.trustDb = X509_get_default_cert_file();
  return true;
}

void removeTlsLibraryFiles(TlsLibraryFiles& library) {
  library.made.clear();
}

}  // namespace tarnwick
