#include <windows.h>
// windows.h first: wincrypt.h needs its types.
#include <wincrypt.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/last_error.h"
#include "platform/random_uuid.h"
#include "platform/tls_files.h"
#include "platform/win32/wide_text.h"

namespace tarnwick {
namespace {

// SChannel signs TLS 1.2 with SHA-256: a provider that can.
constexpr wchar_t kProvider[] = MS_ENH_RSA_AES_PROV_W;
constexpr DWORD kProviderType = PROV_RSA_AES;
constexpr std::size_t kMaxPemBytes = 1 << 20;

struct StoreCloser {
  void operator()(void* store) const { CertCloseStore(static_cast<HCERTSTORE>(store), 0); }
};
using Store = std::unique_ptr<void, StoreCloser>;

bool readText(const std::string& path, std::string& text, std::string& error) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad() || !in.eof() || text.size() > kMaxPemBytes) {
    error = "cannot read " + path;
    return false;
  }
  return true;
}

// The DER bytes of each PEM block in `text` whose label is `label`.
std::vector<std::string> pemBlocks(const std::string& text, const std::string& label) {
  std::vector<std::string> blocks;
  const std::string begin = "-----BEGIN " + label + "-----";
  const std::string end = "-----END " + label + "-----";
  for (std::size_t at = text.find(begin); at != std::string::npos; at = text.find(begin, at + 1)) {
    const std::size_t stop = text.find(end, at);
    if (stop == std::string::npos) break;
    const std::string pem = text.substr(at, stop + end.size() - at);
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                              nullptr, &size, nullptr, nullptr))
      continue;
    std::string der(size, '\0');
    if (CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                             reinterpret_cast<BYTE*>(&der[0]), &size, nullptr, nullptr))
      blocks.push_back(der.substr(0, size));
  }
  return blocks;
}

// Adds every certificate of the PEM file at `path` to `store`; `first`, when
// asked for, gets the first of them (to free).
bool addCertificates(HCERTSTORE store, const std::string& path, PCCERT_CONTEXT* first,
                     std::string& error) {
  std::string text;
  if (!readText(path, text, error)) return false;
  const std::vector<std::string> ders = pemBlocks(text, "CERTIFICATE");
  for (const std::string& der : ders) {
    PCCERT_CONTEXT added = nullptr;
    if (!CertAddEncodedCertificateToStore(
            store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
            static_cast<DWORD>(der.size()), CERT_STORE_ADD_ALWAYS, &added)) {
      error = lastErrorLine(path + ": a certificate the system cannot take");
      return false;
    }
    if (first != nullptr && *first == nullptr) {
      *first = added;
    } else {
      CertFreeCertificateContext(added);
    }
  }
  if (ders.empty()) error = path + ": holds no PEM certificate";
  return !ders.empty();
}

// The RSA private key of the PEM file at `path` (PKCS#8 "PRIVATE KEY" or
// PKCS#1 "RSA PRIVATE KEY") as the PRIVATEKEYBLOB CryptoAPI imports.
bool rsaKeyBlob(const std::string& path, std::string& blob, std::string& error) {
  std::string text;
  if (!readText(path, text, error)) return false;
  std::vector<std::string> ders = pemBlocks(text, "RSA PRIVATE KEY");
  std::string rsa = ders.empty() ? "" : ders.front();
  ders = pemBlocks(text, "PRIVATE KEY");
  if (rsa.empty() && !ders.empty()) {
    CRYPT_PRIVATE_KEY_INFO* info = nullptr;
    DWORD size = 0;
    if (CryptDecodeObjectEx(X509_ASN_ENCODING, PKCS_PRIVATE_KEY_INFO,
                            reinterpret_cast<const BYTE*>(ders.front().data()),
                            static_cast<DWORD>(ders.front().size()), CRYPT_DECODE_ALLOC_FLAG,
                            nullptr, &info, &size)) {
      if (std::string(info->Algorithm.pszObjId) == szOID_RSA_RSA)
        rsa.assign(reinterpret_cast<const char*>(info->PrivateKey.pbData), info->PrivateKey.cbData);
      LocalFree(info);
    }
  }
  BYTE* decoded = nullptr;
  DWORD size = 0;
  if (rsa.empty() || !CryptDecodeObjectEx(X509_ASN_ENCODING, PKCS_RSA_PRIVATE_KEY,
                                          reinterpret_cast<const BYTE*>(rsa.data()),
                                          static_cast<DWORD>(rsa.size()), CRYPT_DECODE_ALLOC_FLAG,
                                          nullptr, &decoded, &size)) {
    error = path + ": holds no RSA private key this build can use (not encrypted, PEM)";
    return false;
  }
  blob.assign(reinterpret_cast<const char*>(decoded), size);
  LocalFree(decoded);
  return true;
}

// A key container of its own, holding the imported key while the
// certificate and key are exported together; deleted when it ends.
class KeyContainer {
 public:
  ~KeyContainer() {
    if (key_ != 0) CryptDestroyKey(key_);
    if (provider_ != 0) CryptReleaseContext(provider_, 0);
    HCRYPTPROV gone = 0;
    if (!name_.empty())
      CryptAcquireContextW(&gone, name_.c_str(), kProvider, kProviderType, CRYPT_DELETEKEYSET);
  }
  bool import(const std::string& blob, std::string& error) {
    const std::wstring name = widePath("tarnwick-tls-" + randomUuid());
    if (!CryptAcquireContextW(&provider_, name.c_str(), kProvider, kProviderType,
                              CRYPT_NEWKEYSET)) {
      error = lastErrorLine("cannot make a key container for the client key");
      return false;
    }
    name_ = name;
    if (!CryptImportKey(provider_, reinterpret_cast<const BYTE*>(blob.data()),
                        static_cast<DWORD>(blob.size()), 0, CRYPT_EXPORTABLE, &key_)) {
      error = lastErrorLine("cannot import the client key");
      return false;
    }
    return true;
  }
  // Ties `certificate` (in a store) to the imported key.
  bool attach(PCCERT_CONTEXT certificate, std::string& error) {
    CRYPT_KEY_PROV_INFO info = {};
    info.pwszContainerName = &name_[0];
    info.pwszProvName = const_cast<wchar_t*>(kProvider);
    info.dwProvType = kProviderType;
    info.dwKeySpec = AT_KEYEXCHANGE;
    if (CertSetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, 0, &info))
      return true;
    error = lastErrorLine("cannot tie the client certificate to its key");
    return false;
  }

 private:
  HCRYPTPROV provider_ = 0;
  HCRYPTKEY key_ = 0;
  std::wstring name_;
};

// Wine 8's PFXExportCertStoreEx is a stub that fails and sets no error.
std::string pfxFailure() {
  const std::string doing = "the system cannot make a PKCS#12 store (PFXExportCertStoreEx)";
  return lastErrorCode() == 0 ? doing + ": it failed and gave no reason" : lastErrorLine(doing);
}

// `store` as a PKCS#12 file in the user's temporary folder (the path in
// the ANSI code page, as Proton opens it), sealed with `password`.
bool writePfx(HCERTSTORE store, const std::string& password, DWORD flags, std::string& path,
              std::string& error) {
  const std::wstring seal = widePath(password);
  CRYPT_DATA_BLOB pfx = {};
  const wchar_t* sealText = password.empty() ? nullptr : seal.c_str();
  if (!PFXExportCertStoreEx(store, &pfx, sealText, nullptr, flags)) {
    error = pfxFailure();
    return false;
  }
  std::string bytes(pfx.cbData, '\0');
  pfx.pbData = reinterpret_cast<BYTE*>(&bytes[0]);
  if (!PFXExportCertStoreEx(store, &pfx, sealText, nullptr, flags)) {
    error = pfxFailure();
    return false;
  }
  char folder[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(sizeof folder, folder);
  if (length == 0 || length > MAX_PATH) {
    error = lastErrorLine("no temporary folder for the TLS files");
    return false;
  }
  path = std::string(folder) + "tarnwick-tls-" + randomUuid() + ".p12";
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_TEMPORARY, nullptr);
  DWORD written = 0;
  const bool done = file != INVALID_HANDLE_VALUE &&
                    WriteFile(file, bytes.data(), pfx.cbData, &written, nullptr) &&
                    written == pfx.cbData;
  if (!done) error = lastErrorLine("cannot write " + path);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (!done) DeleteFileA(path.c_str());
  return done;
}

Store memoryStore() {
  return Store(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
}

// The CA file as a PKCS#12 file of certificates only (no password).
bool trustFile(const std::string& caFile, TlsLibraryFiles& library, std::string& error) {
  Store store = memoryStore();
  std::string path;
  if (!store || !addCertificates(store.get(), caFile, nullptr, error) ||
      !writePfx(store.get(), "", 0, path, error))
    return false;
  library.made.push_back(path);
  library.trustDb = path;
  return true;
}

// The client certificate and its key as one PKCS#12 file, sealed with a
// random password.
bool clientFile(const TlsFiles& files, TlsLibraryFiles& library, std::string& error) {
  Store store = memoryStore();
  PCCERT_CONTEXT certificate = nullptr;
  std::string blob, path;
  KeyContainer container;
  const std::string password = randomUuid();
  const bool done = store && !password.empty() &&
                    addCertificates(store.get(), files.certFile, &certificate, error) &&
                    rsaKeyBlob(files.keyFile, blob, error) && container.import(blob, error) &&
                    container.attach(certificate, error) &&
                    writePfx(store.get(), password, EXPORT_PRIVATE_KEYS, path, error);
  SecureZeroMemory(&blob[0], blob.size());
  if (certificate != nullptr) CertFreeCertificateContext(certificate);
  if (!done) return false;
  library.made.push_back(path);
  library.certificate = path;
  library.password = password;
  return true;
}

// Proton opens the user's store of trusted roots ("ss:root") for every
// TLS domain it makes.
bool systemRootsOpen(std::string& error) {
  Store roots(CertOpenStore(
      CERT_STORE_PROV_SYSTEM_A, 0, 0,
      CERT_STORE_OPEN_EXISTING_FLAG | CERT_STORE_READONLY_FLAG | CERT_SYSTEM_STORE_CURRENT_USER,
      "root"));
  if (!roots) error = lastErrorLine("the user's store of trusted root certificates");
  return roots != nullptr;
}

}  // namespace

// SChannel's Proton takes a system store ("ss:NAME") or a PKCS#12 file:
// the PEM files become PKCS#12 files of the moment, made with the system's
// own calls.
bool prepareTlsLibraryFiles(const TlsFiles& files, TlsLibraryFiles& library, std::string& error) {
  library = TlsLibraryFiles{};
  if (!systemRootsOpen(error)) return false;
  if (!files.caFile.empty() && !trustFile(files.caFile, library, error)) return false;
  if (!files.certFile.empty() && !clientFile(files, library, error)) {
    removeTlsLibraryFiles(library);
    return false;
  }
  if (library.trustDb.empty() && !library.certificate.empty()) library.trustDb = "ss:root";
  return true;
}

void removeTlsLibraryFiles(TlsLibraryFiles& library) {
  for (const std::string& path : library.made) DeleteFileA(path.c_str());
  library.made.clear();
}

}  // namespace tarnwick
