#include "Publisher.h"

namespace zorpa {

namespace {

bool SamePublisher(const SignatureFacts& installed, const SignatureFacts& copy) {
    if (copy.thumbprint == installed.thumbprint) return true;
    // A renewed certificate: the same subject, vouched for by a root this Windows trusts.
    return copy.trustedChain && copy.subject == installed.subject;
}

// What is wrong with the copy's own signature, in the words that follow its path.
std::wstring CopysSignature(const SignatureFacts& installed, const SignatureFacts& copy) {
    switch (copy.state) {
    case SignatureState::Unsigned: return L"is not signed";
    case SignatureState::DoesNotMatch:
        return L"is not from this terminal's publisher: its signature does not match its bytes";
    case SignatureState::Uncheckable:
        return L"is not from this terminal's publisher: this Windows cannot check its signature";
    case SignatureState::Intact: break;
    }
    // The same name under a chain Windows does not trust is what an impostor would show.
    const bool sameName = copy.subject == installed.subject;
    return L"is not from this terminal's publisher: " + SignedBy(copy) +
           (sameName ? L" with a certificate this terminal does not trust" : L"");
}

}  // namespace

std::optional<std::wstring> WhyNotSamePublisher(const SignatureFacts& installed,
                                                const SignatureFacts& copy,
                                                const std::wstring& installedName) {
    if (installed.state != SignatureState::Intact) return std::nullopt;
    if (copy.state == SignatureState::Intact && SamePublisher(installed, copy)) return std::nullopt;
    return CopysSignature(installed, copy) + L", but " + installedName + L" is " +
           SignedBy(installed);
}

void CheckPublisher(Platform& platform, const std::wstring& installed, const std::wstring& copy,
                    const std::wstring& source) {
    const SignatureFacts installedFacts = platform.ReadSignature(installed);
    // Nothing is required of the copy: its signature need not be read.
    if (installedFacts.state != SignatureState::Intact) return;
    if (const auto why = WhyNotSamePublisher(installedFacts, platform.ReadSignature(copy),
                                             FileNameOf(installed)))
        throw RuntimeError(ErrorNumber::PermissionToUseObjectDenied, source + L" " + *why);
}

std::wstring SignedBy(const SignatureFacts& facts) {
    return L"signed by \"" + facts.signer + L"\" (thumbprint " + facts.thumbprint + L")";
}

std::wstring FileNameOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace zorpa
