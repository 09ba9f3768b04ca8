// The HTTPS peers' certificate authority (tests/peers/http/tls_certs.py), trusted in
// this Wine prefix only, and only while a TrustedAuthority lives.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <functional>
#include <string>

class TrustedAuthority {
public:
    // `der`: the authority's certificate, as the peers wrote it (ca.der).
    explicit TrustedAuthority(const std::string& der);
    ~TrustedAuthority();
    TrustedAuthority(const TrustedAuthority&) = delete;
    TrustedAuthority& operator=(const TrustedAuthority&) = delete;

private:
    static bool InRootStore(const std::function<BOOL(HCERTSTORE)>& change);
    PCCERT_CONTEXT cert_;
};
