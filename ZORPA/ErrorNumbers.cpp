#include "ErrorNumbers.h"

#include "RuntimeError.h"

namespace zorpa {

bool IsMissingFile(std::uint32_t windowsError) {
    return windowsError == WindowsError::FileNotFound || windowsError == WindowsError::PathNotFound;
}

bool IsHeldOrProtected(std::uint32_t windowsError) {
    return windowsError == WindowsError::AccessDenied ||
           windowsError == WindowsError::SharingViolation ||
           windowsError == WindowsError::LockViolation;
}

namespace {

// A folder that cannot be listed: an unreachable server or share, a drive that is not ready,
// or a malformed name each keep the number support staff know for it.
int ListingErrorNumber(std::uint32_t windowsError) {
    switch (windowsError) {
    case WindowsError::BadNetPath:
    case WindowsError::BadNetName:
    case WindowsError::NotReady:
    case WindowsError::NetworkUnreachable:
        return ErrorNumber::DeviceUnavailable;
    case WindowsError::InvalidName:
    case WindowsError::BadPathName:
    case WindowsError::InvalidDrive:
        return ErrorNumber::BadFileName;
    default:
        return ErrorNumber::PathFileAccess;
    }
}

}  // namespace

int ErrorNumberFor(FailedCall call, std::uint32_t windowsError) {
    if (call == FailedCall::ListFolder) return ListingErrorNumber(windowsError);
    if (IsMissingFile(windowsError)) return ErrorNumber::FileNotFound;
    if (IsHeldOrProtected(windowsError)) return ErrorNumber::PermissionDenied;
    if (call == FailedCall::StartProgram) return ErrorNumber::PathFileAccess;
    if (windowsError == WindowsError::DiskFull || windowsError == WindowsError::HandleDiskFull)
        return ErrorNumber::DiskFull;
    if (windowsError == WindowsError::NotEnoughMemory) return ErrorNumber::OutOfMemory;
    return ListingErrorNumber(windowsError);
}

}  // namespace zorpa
