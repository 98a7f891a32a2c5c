// The supervisor's folder and the files of an update: looked for, copied whole, read,
// renamed and deleted by their exact names.
#include "Win32Platform.h"

#include <algorithm>
#include <new>

#include "Win32Error.h"
#include "Win32Handles.h"

namespace zorpa::win32 {

namespace {

constexpr std::size_t CopyBufferBytes = 64 * 1024;

// The file operations act on one file of a fixed name: a wildcard would make them match others.
void RejectWildcards(const std::wstring& path, const std::wstring& action) {
    if (path.find_first_of(L"*?") != std::wstring::npos)
        ThrowWin32Error(ErrorNumber::BadFileName, action, ERROR_INVALID_NAME);
}

// Others may read the file meanwhile, nobody may write it.
UniqueHandle OpenToRead(const std::wstring& path, const std::wstring& action) {
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE)
        ThrowWin32Error(FailedCall::FileChange, action, ::GetLastError());
    return file;
}

std::uint64_t SizeOf(HANDLE file, const std::wstring& action) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size))
        ThrowWin32Error(FailedCall::FileChange, action, ::GetLastError());
    return static_cast<std::uint64_t>(size.QuadPart);
}

// Deletes a file being written unless it was completed; declared before the file's handle,
// so that the handle is closed first.
class DeleteUnlessKept {
public:
    explicit DeleteUnlessKept(const std::wstring& path) : path_(path) {}
    ~DeleteUnlessKept() {
        if (!kept_) ::DeleteFileW(path_.c_str());
    }
    DeleteUnlessKept(const DeleteUnlessKept&) = delete;
    DeleteUnlessKept& operator=(const DeleteUnlessKept&) = delete;
    void Keep() { kept_ = true; }

private:
    std::wstring path_;
    bool kept_ = false;
};

}  // namespace

std::wstring Win32Platform::ProgramPath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) ThrowWin32Error(ErrorNumber::PathFileAccess,
                                         L"Cannot find the program's own folder", ::GetLastError());
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring Win32Platform::ProgramFolder() {
    std::wstring path = ProgramPath();
    const std::size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return path;
    // A drive root keeps its backslash ("C:\\"); any other folder is returned without.
    const bool driveRoot = slash > 0 && path[slash - 1] == L':';
    path.erase(driveRoot ? slash + 1 : slash);
    return path;
}

bool Win32Platform::FileExists(const std::wstring& path) {
    RejectWildcards(path, L"Cannot look for " + Quoted(path));
    WIN32_FIND_DATAW found{};
    const HANDLE first = ::FindFirstFileW(path.c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (IsMissingFile(error) || error == ERROR_NO_MORE_FILES) return false;
        ThrowWin32Error(FailedCall::ListFolder, L"Cannot look for " + Quoted(path), error);
    }
    const UniqueFind listing(first);
    constexpr DWORD NotAPlainFile =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return (found.dwFileAttributes & NotAPlainFile) == 0;
}

CopiedFile Win32Platform::CopyToTemporary(const std::wstring& from,
                                          const std::wstring& temporary) {
    const std::wstring action = L"Cannot copy " + Quoted(from) + L" to " + Quoted(temporary);
    const UniqueHandle source = OpenToRead(from, action);
    CopiedFile copied;
    copied.sourceBytes = SizeOf(source.get(), action);

    DeleteUnlessKept partial(temporary);
    UniqueHandle target(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (target.get() == INVALID_HANDLE_VALUE)
        ThrowWin32Error(FailedCall::FileChange, action, ::GetLastError());
    std::vector<char> buffer(CopyBufferBytes);
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(source.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                        nullptr))
            ThrowWin32Error(FailedCall::FileChange, action, ::GetLastError());
        if (read == 0) break;
        DWORD written = 0;
        if (!::WriteFile(target.get(), buffer.data(), read, &written, nullptr))
            ThrowWin32Error(FailedCall::FileChange, action, ::GetLastError());
        copied.bytesWritten += written;
    }
    // On the disk before a rename makes it the program: a power cut must not leave a file of
    // the right size full of zeros.
    if (!::FlushFileBuffers(target.get()))
        ThrowWin32Error(FailedCall::FileChange, action, ::GetLastError());
    if (!::CloseHandle(target.release()))
        ThrowWin32Error(FailedCall::FileChange, action, ::GetLastError());
    partial.Keep();
    return copied;
}

std::vector<std::uint8_t> Win32Platform::ReadWholeFile(const std::wstring& path) {
    const std::wstring action = L"Cannot read " + Quoted(path);
    const UniqueHandle file = OpenToRead(path, action);
    const std::uint64_t size = SizeOf(file.get(), action);
    std::vector<std::uint8_t> bytes;
    try {
        if (size > bytes.max_size()) throw std::bad_alloc();
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        ThrowWin32Error(FailedCall::FileChange, action, ERROR_NOT_ENOUGH_MEMORY);
    }
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - filled,
                                                                      CopyBufferBytes));
        DWORD read = 0;
        if (!::ReadFile(file.get(), bytes.data() + filled, wanted, &read, nullptr))
            ThrowWin32Error(FailedCall::FileChange, action, ::GetLastError());
        if (read == 0) break;
        filled += read;
    }
    bytes.resize(filled);
    return bytes;
}

void Win32Platform::MoveFileOver(const std::wstring& from, const std::wstring& to) {
    // Never MOVEFILE_COPY_ALLOWED: a copy would write over `to` in place again.
    if (!::MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        ThrowWin32Error(FailedCall::FileChange,
                        L"Cannot rename " + Quoted(from) + L" to " + Quoted(to), ::GetLastError());
}

void Win32Platform::DeleteFileIfPresent(const std::wstring& path) {
    const std::wstring action = L"Cannot delete " + Quoted(path);
    RejectWildcards(path, action);
    if (::DeleteFileW(path.c_str())) return;
    const DWORD error = ::GetLastError();
    if (!IsMissingFile(error)) ThrowWin32Error(FailedCall::FileChange, action, error);
}

}  // namespace zorpa::win32
