#include "tests/win/support/trusted_authority.h"

#include <gtest/gtest.h>

// The current user's root store. Wine writes a deletion into the registry only on a
// forced commit.
TrustedAuthority::TrustedAuthority(const std::string& der)
    : cert_(CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                         static_cast<DWORD>(der.size()))) {
    EXPECT_TRUE(cert_ != nullptr && InRootStore([this](HCERTSTORE root) {
        return CertAddCertificateContextToStore(root, cert_, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    })) << "the peers' certificate authority could not be trusted";
}

TrustedAuthority::~TrustedAuthority() {
    EXPECT_TRUE(cert_ == nullptr || InRootStore([this](HCERTSTORE root) {
        PCCERT_CONTEXT kept = CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert_, nullptr);
        return kept != nullptr && CertDeleteCertificateFromStore(kept);
    }));
    CertFreeCertificateContext(cert_);
}

bool TrustedAuthority::InRootStore(const std::function<BOOL(HCERTSTORE)>& change) {
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "Root");
    const bool done = root != nullptr && change(root) &&
                      CertControlStore(root, CERT_STORE_CTRL_COMMIT_FORCE_FLAG, CERT_STORE_CTRL_COMMIT, nullptr);
    if (root != nullptr) CertCloseStore(root, 0);
    return done;
}
