// The helper's signature as Windows sees it (WinVerifyTrust with the Authenticode policy, the
// signer's subject), and whether the file carries the mark of a download from the internet
// (its Zone.Identifier stream), which SmartScreen and Smart App Control look at.
#include "kit_roads_win.h"

// After windows.h, which they need.
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

namespace kelto::acceptance::roads {

namespace {

// The subject of the certificate that signed the file, or "" when it cannot be read.
std::string SignerSubject(const std::wstring& file) {
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    if (!::CryptQueryObject(CERT_QUERY_OBJECT_FILE, file.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                            CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, &store, &message,
                            nullptr))
        return {};
    std::string subject;
    DWORD size = 0;
    if (::CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) && size > 0) {
        std::vector<BYTE> buffer(size);
        if (::CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) {
            const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
            CERT_INFO wanted{};
            wanted.Issuer = signer->Issuer;
            wanted.SerialNumber = signer->SerialNumber;
            if (PCCERT_CONTEXT certificate = ::CertFindCertificateInStore(
                    store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr)) {
                wchar_t name[512] = {};
                ::CertNameToStrW(X509_ASN_ENCODING, &certificate->pCertInfo->Subject, CERT_X500_NAME_STR, name,
                                 512);
                subject = Narrow(name);
                ::CertFreeCertificateContext(certificate);
            }
        }
    }
    ::CryptMsgClose(message);
    ::CertCloseStore(store, 0);
    return subject;
}

// WinVerifyTrust's answer for the file: 0 for a valid signature that chains to a trusted root.
LONG VerifyTrust(const std::wstring& file) {
    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = file.c_str();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID policy = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG result = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &policy, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &policy, &data);
    return result;
}


}  // namespace

void Kit::SignatureCheck() {
    const LONG trust = VerifyTrust(helper_);
    const std::string subject = SignerSubject(helper_);
    std::string evidence = "WinVerifyTrust (Authenticode policy): " + Hex(trust);
    switch (trust) {
        case ERROR_SUCCESS:
            evidence += " (valid)";
            break;
        case TRUST_E_NOSIGNATURE:
            evidence += " (no signature)";
            break;
        case TRUST_E_BAD_DIGEST:
            evidence += " (the file was changed after it was signed)";
            break;
        case CERT_E_UNTRUSTEDROOT:
            evidence += " (the signing authority is not trusted here)";
            break;
        default:
            break;
    }
    evidence += "; signer: " + (subject.empty() ? std::string("none") : subject);
    // The mark of a download: the file's Zone.Identifier stream, ZoneId=3 for the internet.
    const std::string zone = e2e::ReadWholeFile(helper_ + L":Zone.Identifier");
    evidence += zone.empty() ? "; no mark of a download" : "; mark of a download: " + Visible(zone);
    if (Wine()) {
        Add(kSignatureCheck, Status::NotUnderWine,
            "Wine's WinVerifyTrust has no Windows root store to check a chain against, and the test bench's "
            "helper is unsigned; " +
                evidence);
        return;
    }
    Add(kSignatureCheck, trust == ERROR_SUCCESS ? Status::Pass : Status::Fail, evidence);
}

}  // namespace kelto::acceptance::roads
