#include "Publisher.h"

#include "DecimalText.h"

namespace zorpa {

namespace {

// The largest Windows error code; larger answers are the verifier's own (HRESULT) codes.
constexpr std::uint32_t LastWindowsError = 0xFFFF;

bool SamePublisher(const SignatureFacts& installed, const SignatureFacts& copy) {
    // A certificate the terminal distrusts vouches for nothing, not even for itself.
    if (copy.distrusted) return false;
    if (copy.thumbprint == installed.thumbprint && !installed.distrusted) return true;
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
    case SignatureState::Unreadable:
        return L"is not from this terminal's publisher: its signature cannot be read now";
    case SignatureState::Intact: break;
    }
    // The same name under a chain Windows does not trust is what an impostor would show.
    const wchar_t* certificate = copy.distrusted ? L" with a certificate this terminal distrusts"
                                 : copy.subject == installed.subject
                                     ? L" with a certificate this terminal does not trust"
                                     : L"";
    return L"is not from this terminal's publisher: " + SignedBy(copy) + certificate;
}

// The step fails, and the next cycle tries again: a signature that cannot be read now says
// nothing of who made the file, so the check is never skipped for it.
RuntimeError CannotRead(const SignatureFacts& facts, const std::wstring& path,
                        const std::wstring& source) {
    std::wstring text = L"the signature of " + path + L" cannot be read now, so " + source +
                        L" cannot be checked against it";
    if (facts.answer > LastWindowsError)
        text += L": the verifier answered " + HexText(facts.answer);
    return RuntimeError(ErrorNumber::FileAlreadyOpen, text,
                        facts.answer > LastWindowsError ? 0 : facts.answer);
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
    if (installedFacts.state == SignatureState::Unreadable) {
        // A worker that has no file yet has no publisher to be held to.
        if (!platform.FileExists(installed)) return;
        throw CannotRead(installedFacts, installed, source);
    }
    // Nothing is required of the copy: its signature need not be read.
    if (installedFacts.state != SignatureState::Intact) return;
    const SignatureFacts copyFacts = platform.ReadSignature(copy);
    if (copyFacts.state == SignatureState::Unreadable) throw CannotRead(copyFacts, copy, source);
    if (const auto why = WhyNotSamePublisher(installedFacts, copyFacts, FileNameOf(installed)))
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
