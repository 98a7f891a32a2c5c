#pragma once

#include <cstdint>

namespace zorpa {

// The kinds of Windows call whose failure the supervisor reports as a run-time error.
enum class FailedCall {
    StartProgram,  // starting a worker
    ListFolder,    // looking for a file in a folder
    FileChange,    // copying, renaming, deleting or reading a file
};

// Windows' error codes that choose a run-time error number; named here so that the rule reads
// the same on every platform.
namespace WindowsError {
inline constexpr std::uint32_t FileNotFound = 2;
inline constexpr std::uint32_t PathNotFound = 3;
inline constexpr std::uint32_t AccessDenied = 5;
inline constexpr std::uint32_t NotEnoughMemory = 8;
inline constexpr std::uint32_t InvalidDrive = 15;
inline constexpr std::uint32_t NoMoreFiles = 18;
inline constexpr std::uint32_t NotReady = 21;
inline constexpr std::uint32_t SharingViolation = 32;
inline constexpr std::uint32_t LockViolation = 33;
inline constexpr std::uint32_t HandleDiskFull = 39;
inline constexpr std::uint32_t BadNetPath = 53;
inline constexpr std::uint32_t NetNameDeleted = 64;
inline constexpr std::uint32_t BadNetName = 67;
inline constexpr std::uint32_t DiskFull = 112;
inline constexpr std::uint32_t InvalidName = 123;
inline constexpr std::uint32_t BadPathName = 161;
inline constexpr std::uint32_t NetworkUnreachable = 1231;
}  // namespace WindowsError

// True for the errors of a file or folder that is not there.
bool IsMissingFile(std::uint32_t windowsError);
// True for the errors of a file that another program holds, or that may not be written.
bool IsHeldOrProtected(std::uint32_t windowsError);

// The run-time error number that support staff know for a failed call of that kind.
int ErrorNumberFor(FailedCall call, std::uint32_t windowsError);

}  // namespace zorpa
