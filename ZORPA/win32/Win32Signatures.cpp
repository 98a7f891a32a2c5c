// The Authenticode signature of a program file, checked by Windows' own verifier, and who made it.
#include "Win32Platform.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstring>
#include <optional>
#include <vector>

#include "Win32Handles.h"

namespace zorpa::win32 {

namespace {

using Bytes = std::vector<BYTE>;

constexpr BYTE DerSequence = 0x30;
constexpr BYTE DerOctetString = 0x04;
constexpr BYTE DerObjectId = 0x06;

// The verifier's state for one file: the decoded signature, its signer and the signer's chain,
// held until it is closed again.
class VerifiedFile {
public:
    explicit VerifiedFile(const std::wstring& path) {
        file_.cbStruct = sizeof file_;
        file_.pcwszFilePath = path.c_str();
        data_.cbStruct = sizeof data_;
        data_.dwUIChoice = WTD_UI_NONE;
        data_.fdwRevocationChecks = WTD_REVOKE_NONE;
        data_.dwUnionChoice = WTD_CHOICE_FILE;
        data_.pFile = &file_;
        data_.dwStateAction = WTD_STATEACTION_VERIFY;
        // Terminals may be offline: nothing is fetched, no revocation list either.
        data_.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
        result_ = Verify();
        lastError_ = ::GetLastError();
    }
    ~VerifiedFile() {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        Verify();
    }
    VerifiedFile(const VerifiedFile&) = delete;
    VerifiedFile& operator=(const VerifiedFile&) = delete;

    LONG Result() const { return result_; }
    DWORD LastError() const { return lastError_; }
    CRYPT_PROVIDER_DATA* Provider() const {
        return data_.hWVTStateData == nullptr ? nullptr
                                              : ::WTHelperProvDataFromStateData(data_.hWVTStateData);
    }

private:
    LONG Verify() {
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        return ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data_);
    }

    WINTRUST_FILE_INFO file_{};
    WINTRUST_DATA data_{};
    LONG result_ = 0;
    DWORD lastError_ = 0;
};

// What the verifier's answer says of the signature; nothing when the signature held and only
// the signer's chain may be in question (a site's own certificate has no root Windows trusts).
// An answer not listed says nothing of the signature: it cannot be read now.
std::optional<SignatureState> StateOf(LONG result, DWORD lastError) {
    switch (static_cast<HRESULT>(result)) {
    case S_OK:
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_UNTRUSTEDTESTROOT:
    case CERT_E_UNTRUSTEDCA:
    case CERT_E_CHAINING:
    case CERT_E_EXPIRED:
    case CERT_E_VALIDITYPERIODNESTING:
    case CERT_E_WRONG_USAGE:
    case CERT_E_PURPOSE:
    case TRUST_E_BASIC_CONSTRAINTS:
    case TRUST_E_EXPLICIT_DISTRUST:
        return std::nullopt;
    // Windows gives this answer also for a file it could not read; its last error tells.
    case TRUST_E_NOSIGNATURE:
        switch (static_cast<HRESULT>(lastError)) {
        case ERROR_SUCCESS:
        case TRUST_E_NOSIGNATURE:
        case TRUST_E_SUBJECT_FORM_UNKNOWN:
        case TRUST_E_PROVIDER_UNKNOWN:
            return SignatureState::Unsigned;
        default:
            return SignatureState::Unreadable;
        }
    case TRUST_E_SUBJECT_FORM_UNKNOWN:
        return SignatureState::Unsigned;
    case TRUST_E_BAD_DIGEST:
    case TRUST_E_CERT_SIGNATURE:
    case CRYPT_E_HASH_VALUE:
    case NTE_BAD_SIGNATURE:
        return SignatureState::DoesNotMatch;
    case NTE_BAD_ALGID:
    case CRYPT_E_UNKNOWN_ALGO:
        return SignatureState::Uncheckable;
    default:
        return SignatureState::Unreadable;
    }
}

// The Windows error inside an answer that carries one, for the record's text of it.
std::uint32_t AnswerOf(LONG result, DWORD lastError) {
    const auto answer = static_cast<HRESULT>(
        static_cast<HRESULT>(result) == TRUST_E_NOSIGNATURE ? lastError : result);
    return HRESULT_FACILITY(answer) == FACILITY_WIN32 ? HRESULT_CODE(answer)
                                                      : static_cast<std::uint32_t>(answer);
}

// The hash of `bytes` by the provider that Windows XP SP3 and later have; nothing where this
// Windows lacks the algorithm.
std::optional<Bytes> HashOf(ALG_ID algorithm, const BYTE* bytes, DWORD size) {
    HCRYPTPROV rawProvider = 0;
    if (!::CryptAcquireContextW(&rawProvider, nullptr, nullptr, PROV_RSA_AES,
                                CRYPT_VERIFYCONTEXT))
        return std::nullopt;
    const UniqueCryptProvider provider(rawProvider);
    HCRYPTHASH rawHash = 0;
    if (!::CryptCreateHash(provider.get(), algorithm, 0, 0, &rawHash)) return std::nullopt;
    const UniqueCryptHash hash(rawHash);
    DWORD length = 0;
    DWORD lengthSize = sizeof length;
    if (!::CryptHashData(hash.get(), bytes, size, 0) ||
        !::CryptGetHashParam(hash.get(), HP_HASHSIZE, reinterpret_cast<BYTE*>(&length),
                             &lengthSize, 0))
        return std::nullopt;
    Bytes value(length);
    if (!::CryptGetHashParam(hash.get(), HP_HASHVAL, value.data(), &length, 0)) return std::nullopt;
    value.resize(length);
    return value;
}

// The contents of the DER element with the tag `tag` at the start of `bytes`, and where the
// element ends; nothing when there is none or it runs past `size`.
struct DerElement {
    const BYTE* contents;
    DWORD length;
    DWORD end;
};
std::optional<DerElement> FirstElement(const BYTE* bytes, DWORD size, BYTE tag) {
    if (size < 2 || bytes[0] != tag) return std::nullopt;
    DWORD length = bytes[1];
    DWORD header = 2;
    if ((length & 0x80) != 0) {
        const DWORD count = length & 0x7F;
        if (count == 0 || count > sizeof(DWORD) || size < header + count) return std::nullopt;
        length = 0;
        for (DWORD i = 0; i < count; ++i) length = (length << 8) | bytes[header + i];
        header += count;
    }
    if (length > size - header) return std::nullopt;
    return DerElement{bytes + header, length, header + length};
}

// The contents of the DER element that fills `bytes` exactly when it has the tag `tag`.
std::optional<Bytes> DerContents(const BYTE* bytes, DWORD size, BYTE tag) {
    const std::optional<DerElement> element = FirstElement(bytes, size, tag);
    if (!element || element->end != size) return std::nullopt;
    return Bytes(element->contents, element->contents + element->length);
}

// A signature made for something else (a script, a cabinet file) holds a digest of that, and
// some verifiers (Wine's among them) then check no digest of the file at all: only the
// signature of a program is one for this file. Its signed content says what it was made for:
// SpcIndirectDataContent, whose first field's type is "PE image".
bool SignsAProgram(HCRYPTMSG message, const Bytes& content) {
    DWORD size = 0;
    if (!::CryptMsgGetParam(message, CMSG_INNER_CONTENT_TYPE_PARAM, 0, nullptr, &size))
        return false;
    std::vector<char> type(size + 1, '\0');
    if (!::CryptMsgGetParam(message, CMSG_INNER_CONTENT_TYPE_PARAM, 0, type.data(), &size) ||
        std::strcmp(type.data(), SPC_INDIRECT_DATA_OBJID) != 0)
        return false;
    // The OID of "PE image" as DER writes it: 1.3.6.1.4.1.311.2.1.15.
    static constexpr BYTE PeImage[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x0F};
    const auto indirect =
        FirstElement(content.data(), static_cast<DWORD>(content.size()), DerSequence);
    const auto data =
        indirect ? FirstElement(indirect->contents, indirect->length, DerSequence) : std::nullopt;
    const auto dataType =
        data ? FirstElement(data->contents, data->length, DerObjectId) : std::nullopt;
    return dataType && dataType->length == sizeof PeImage &&
           std::memcmp(dataType->contents, PeImage, sizeof PeImage) == 0;
}

// Windows' verifier checks the file's digest inside the signed content and the signer's
// signature over its attributes, but some versions (Wine's among them) never compare the
// attribute `messageDigest` with the signed content: a file changed after signing, with the
// digest inside rewritten to match, would pass. So that link is checked here.
SignatureState ContentMatchesDigest(HCRYPTMSG message, const CMSG_SIGNER_INFO& signer) {
    const CRYPT_ATTRIBUTE* digest = nullptr;
    for (DWORD i = 0; i < signer.AuthAttrs.cAttr; ++i)
        if (std::strcmp(signer.AuthAttrs.rgAttr[i].pszObjId, szOID_PKCS_9_MESSAGE_DIGEST) == 0)
            digest = &signer.AuthAttrs.rgAttr[i];
    if (digest == nullptr || digest->cValue != 1) return SignatureState::DoesNotMatch;
    const std::optional<Bytes> expected =
        DerContents(digest->rgValue[0].pbData, digest->rgValue[0].cbData, DerOctetString);
    if (!expected) return SignatureState::DoesNotMatch;

    DWORD size = 0;
    if (!::CryptMsgGetParam(message, CMSG_CONTENT_PARAM, 0, nullptr, &size))
        return SignatureState::Unreadable;
    Bytes content(size);
    if (!::CryptMsgGetParam(message, CMSG_CONTENT_PARAM, 0, content.data(), &size))
        return SignatureState::Unreadable;
    content.resize(size);
    if (!SignsAProgram(message, content)) return SignatureState::DoesNotMatch;
    // The digest covers the content's value without its own tag and length.
    const std::optional<Bytes> value =
        DerContents(content.data(), static_cast<DWORD>(content.size()), DerSequence);
    const Bytes& signedBytes = value ? *value : content;

    const ALG_ID algorithm = ::CertOIDToAlgId(signer.HashAlgorithm.pszObjId);
    const std::optional<Bytes> actual =
        algorithm == 0 ? std::nullopt
                       : HashOf(algorithm, signedBytes.data(), static_cast<DWORD>(signedBytes.size()));
    if (!actual) return SignatureState::Uncheckable;
    return *actual == *expected ? SignatureState::Intact : SignatureState::DoesNotMatch;
}

std::wstring UpperHex(const Bytes& bytes) {
    static constexpr wchar_t Digits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (BYTE byte : bytes) {
        text += Digits[byte >> 4];
        text += Digits[byte & 0x0F];
    }
    return text;
}

// Whole, even past a NUL inside it: the record shows such a character as a mark.
std::wstring SignerName(PCCERT_CONTEXT certificate) {
    std::vector<wchar_t> name(::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0,
                                                   nullptr, nullptr, 0));
    const DWORD length = ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0,
                                              nullptr, name.data(),
                                              static_cast<DWORD>(name.size()));
    return std::wstring(name.data(), length == 0 ? 0 : length - 1);
}

// The subject as its certificate encodes it: two names are the same only when every byte of
// them is, a NUL inside one included.
std::wstring SubjectOf(PCCERT_CONTEXT certificate) {
    const CERT_NAME_BLOB& subject = certificate->pCertInfo->Subject;
    return UpperHex(Bytes(subject.pbData, subject.pbData + subject.cbData));
}

// Windows' Authenticode policy accepts a signer's certificate for code signing only when its
// enhanced key usage lists code signing, or lists none (any use).
bool ValidForCodeSigning(PCCERT_CONTEXT certificate) {
    DWORD size = 0;
    if (!::CertGetEnhancedKeyUsage(certificate, CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG, nullptr,
                                   &size))
        return ::GetLastError() == static_cast<DWORD>(CRYPT_E_NOT_FOUND);
    std::vector<BYTE> buffer(size);
    auto* usage = reinterpret_cast<CERT_ENHKEY_USAGE*>(buffer.data());
    if (!::CertGetEnhancedKeyUsage(certificate, CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG, usage,
                                   &size))
        return false;
    if (usage->cUsageIdentifier == 0)
        return ::GetLastError() == static_cast<DWORD>(CRYPT_E_NOT_FOUND);
    for (DWORD i = 0; i < usage->cUsageIdentifier; ++i)
        if (std::strcmp(usage->rgpszUsageIdentifier[i], szOID_PKIX_KP_CODE_SIGNING) == 0)
            return true;
    return false;
}

}  // namespace

SignatureFacts Win32Platform::ReadSignature(const std::wstring& path) {
    SignatureFacts facts;
    const VerifiedFile verified(path);
    if (const std::optional<SignatureState> state =
            StateOf(verified.Result(), verified.LastError())) {
        facts.state = *state;
        if (facts.state == SignatureState::Unreadable)
            facts.answer = AnswerOf(verified.Result(), verified.LastError());
        return facts;
    }
    // The verifier said the signature held, but its signer cannot be read: that says nothing.
    facts.state = SignatureState::Unreadable;
    facts.answer = static_cast<std::uint32_t>(verified.Result());
    CRYPT_PROVIDER_DATA* provider = verified.Provider();
    CRYPT_PROVIDER_SGNR* signer =
        provider == nullptr ? nullptr : ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
    if (signer == nullptr || signer->psSigner == nullptr || signer->csCertChain == 0 ||
        signer->pasCertChain[0].pCert == nullptr)
        return facts;
    const PCCERT_CONTEXT certificate = signer->pasCertChain[0].pCert;
    const std::optional<Bytes> thumbprint =
        HashOf(CALG_SHA1, certificate->pbCertEncoded, certificate->cbCertEncoded);
    if (!thumbprint) return facts;

    facts.state = ContentMatchesDigest(provider->hMsg, *signer->psSigner);
    facts.signer = SignerName(certificate);
    facts.subject = SubjectOf(certificate);
    facts.thumbprint = UpperHex(*thumbprint);
    facts.distrusted = static_cast<HRESULT>(verified.Result()) == TRUST_E_EXPLICIT_DISTRUST;
    // The verifier's own answer is not enough: Wine's is 0 for a chain that ends in a root it
    // does not trust, and for a certificate made for another use. Its chain says the one (where
    // this Windows' signer record holds one), the certificate's key usage the other.
    const bool hasChain = WVT_ISINSTRUCT(CRYPT_PROVIDER_SGNR, signer->cbStruct, pChainContext) &&
                          signer->pChainContext != nullptr;
    facts.trustedChain = verified.Result() == S_OK && hasChain &&
                         signer->pChainContext->TrustStatus.dwErrorStatus == CERT_TRUST_NO_ERROR &&
                         ValidForCodeSigning(certificate);
    return facts;
}

}  // namespace zorpa::win32
