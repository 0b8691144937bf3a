// Trusts a test certificate authority: adds the certificate in the DER file CERT to the local
// machine's Root store, so that WinINet in the end-to-end tests' Wine prefix accepts the loopback
// TLS servers whose certificates it signed. Adding it again changes nothing.
//
//   trust-root CERT
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: trust-root CERT (a DER file)\n", stderr);
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  const std::vector<unsigned char> der((std::istreambuf_iterator<char>(file)),
                                       std::istreambuf_iterator<char>());
  if (der.empty()) {
    std::fputs("trust-root: cannot read the certificate\n", stderr);
    return 1;
  }
  HCERTSTORE store =
      ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (store == nullptr) {
    std::fprintf(stderr, "trust-root: cannot open the Root store (%lu)\n", ::GetLastError());
    return 1;
  }
  const BOOL added = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                                        static_cast<DWORD>(der.size()),
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  const DWORD error = ::GetLastError();
  ::CertCloseStore(store, 0);
  if (added == FALSE) {
    std::fprintf(stderr, "trust-root: the certificate was not added (%lu)\n", error);
    return 1;
  }
  return 0;
}
