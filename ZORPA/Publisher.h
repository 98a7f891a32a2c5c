#pragma once

#include <optional>
#include <string>

#include "Platform.h"
#include "SignatureFacts.h"

namespace zorpa {

// Why a copy whose signature is `copy` may not take the place of the file named `installedName`,
// whose signature is `installed`; nothing when it may. Only an intact installed signature sets
// a requirement: the copy's own signature must be intact and either made with the same
// certificate, or by the same subject under a chain Windows trusts (a renewed certificate).
// A certificate the terminal distrusts passes neither way: only a renewal replaces it.
std::optional<std::wstring> WhyNotSamePublisher(const SignatureFacts& installed,
                                                const SignatureFacts& copy,
                                                const std::wstring& installedName);

// Refuses, before anything is ended, the copy `copy` of `source` when it is not from the
// publisher of `installed`, or when either signature cannot be read now: throws RuntimeError.
void CheckPublisher(Platform& platform, const std::wstring& installed, const std::wstring& copy,
                    const std::wstring& source);

// `signed by "Site Publisher" (thumbprint 0A1B…)`, as the record names a signer.
std::wstring SignedBy(const SignatureFacts& facts);
// The last part of a path: "TULVAN.EXE".
std::wstring FileNameOf(const std::wstring& path);

}  // namespace zorpa
