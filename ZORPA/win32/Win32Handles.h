#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <memory>

namespace zorpa::win32 {

// Owners for the Win32 handles the supervisor opens; each closes its handle exactly once.

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct FindCloser {
    void operator()(HANDLE handle) const { ::FindClose(handle); }
};
// Only ever holds a handle that FindFirstFileW returned as valid.
using UniqueFind = std::unique_ptr<void, FindCloser>;

struct KeyCloser {
    void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<HKEY__, KeyCloser>;

struct ScreenDcReleaser {
    void operator()(HDC dc) const { ::ReleaseDC(nullptr, dc); }
};
using UniqueScreenDc = std::unique_ptr<HDC__, ScreenDcReleaser>;

struct EventSourceDeregisterer {
    void operator()(HANDLE source) const { ::DeregisterEventSource(source); }
};
// Only ever holds a handle that RegisterEventSourceW returned as valid.
using UniqueEventSource = std::unique_ptr<void, EventSourceDeregisterer>;

// A cryptographic provider's context and a hash, each given once it was made; CryptoAPI's
// handles are numbers, not pointers.
class UniqueCryptProvider {
public:
    explicit UniqueCryptProvider(HCRYPTPROV provider) : provider_(provider) {}
    ~UniqueCryptProvider() { ::CryptReleaseContext(provider_, 0); }
    UniqueCryptProvider(const UniqueCryptProvider&) = delete;
    UniqueCryptProvider& operator=(const UniqueCryptProvider&) = delete;
    HCRYPTPROV get() const { return provider_; }

private:
    HCRYPTPROV provider_;
};

class UniqueCryptHash {
public:
    explicit UniqueCryptHash(HCRYPTHASH hash) : hash_(hash) {}
    ~UniqueCryptHash() { ::CryptDestroyHash(hash_); }
    UniqueCryptHash(const UniqueCryptHash&) = delete;
    UniqueCryptHash& operator=(const UniqueCryptHash&) = delete;
    HCRYPTHASH get() const { return hash_; }

private:
    HCRYPTHASH hash_;
};

}  // namespace zorpa::win32
