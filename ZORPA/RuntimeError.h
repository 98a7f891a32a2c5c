#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace zorpa {

// A run-time error of the kind a failed file, process or settings operation raises.
// Only the check cycle's replacement handler catches it; anywhere else it is reported
// once to the user and ends the supervisor.
class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int number, std::wstring description, std::uint32_t windowsError = 0)
        : std::runtime_error("run-time error " + std::to_string(number)),
          number_(number),
          description_(std::move(description)),
          windowsError_(windowsError) {}
    int number() const { return number_; }
    // What the user is told: wide, since it usually names a path.
    const std::wstring& description() const { return description_; }
    // The Windows error code the failure came from, so that a report can name it; 0 when
    // no Windows call failed.
    std::uint32_t windowsError() const { return windowsError_; }

private:
    int number_;
    std::wstring description_;
    std::uint32_t windowsError_;
};

// Error numbers the site's support staff know from the supervisor's error reports.
namespace ErrorNumber {
inline constexpr int OutOfMemory = 7;
inline constexpr int BadFileName = 52;
inline constexpr int FileNotFound = 53;
inline constexpr int DiskFull = 61;
inline constexpr int DeviceUnavailable = 68;
// The signature of a file that cannot be read now (most often: another program holds it).
inline constexpr int FileAlreadyOpen = 55;
inline constexpr int PermissionDenied = 70;
inline constexpr int PathFileAccess = 75;
// A file that is not a program this Windows can run.
inline constexpr int InvalidFileFormat = 321;
// A new version that is not from the publisher of the program it would replace.
inline constexpr int PermissionToUseObjectDenied = 419;
}  // namespace ErrorNumber

}  // namespace zorpa
