#pragma once

#include <cstdint>
#include <string>

namespace zorpa {

// What Windows' own verifier tells about a program file's Authenticode signature.
enum class SignatureState {
    Unsigned,       // no signature at all
    Intact,         // its digest matches the file's bytes and its signer's key signed it
    DoesNotMatch,   // it does not match the file's bytes: the file or the signature was changed,
                    // or it was made for something that is not a program
    Uncheckable,    // this Windows cannot check it (an algorithm it does not know)
    Unreadable,     // it cannot be read now (the file held by another program, an I/O error,
                    // an answer the supervisor does not know): it says nothing either way
};

// The signature of one file, and who signed it when it is intact.
struct SignatureFacts {
    SignatureState state = SignatureState::Unsigned;
    std::wstring signer;      // the signer's name, as the record shows it
    std::wstring subject;     // the signer certificate's whole subject name, for the comparison
    std::wstring thumbprint;  // SHA-1 of the signer certificate, upper-case hexadecimal
    bool trustedChain = false;  // Windows trusts the whole chain up to a root it trusts, and
                                // the certificate is valid for code signing
    bool distrusted = false;    // the terminal explicitly distrusts the signer's certificate
    std::uint32_t answer = 0;   // the verifier's answer, or Windows' error inside it: what the
                                // record names of a signature that cannot be read now
};

}  // namespace zorpa
