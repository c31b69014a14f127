#pragma once

#include <string>
#include <vector>

namespace tarnwick {

// The TLS files of a broker connection as the user gives them: PEM text.
struct TlsFiles {
  std::string caFile;    // the CA to trust instead of the system's store; empty: the system's
  std::string certFile;  // the client's certificate; empty: none
  std::string keyFile;   // its private key (not encrypted); empty with certFile only
};

// The same files in the form this build's TLS library takes. Linux
// (OpenSSL): the PEM files themselves. Windows (SChannel): PKCS#12 files
// that `prepareTlsLibraryFiles` makes from the PEM text with the system's
// own calls, in a folder only this user may read, the client's one sealed
// with a random password; they exist until `removeTlsLibraryFiles`.
struct TlsLibraryFiles {
  std::string trustDb;            // empty: the system's store of trusted roots
  std::string certificate;        // empty: no client certificate
  std::string key;                // what the library takes beside the certificate
  std::string password;           // what opens `certificate`; empty: none
  std::vector<std::string> made;  // files made for the library, to remove
};

// Fills `library` from `files`. False with `error` when a file cannot be
// read or converted, or (Windows) when the user's store of trusted roots
// cannot be opened: Proton's SChannel layer opens it for every TLS set-up,
// even one that trusts a CA file instead.
bool prepareTlsLibraryFiles(const TlsFiles& files, TlsLibraryFiles& library, std::string& error);

// Removes the files `prepareTlsLibraryFiles` made, once the library has
// read them.
void removeTlsLibraryFiles(TlsLibraryFiles& library);

}  // namespace tarnwick
