#pragma once

#include <stdexcept>
#include <string>

namespace zorpa {

// A run-time error of the kind a failed file, process or settings operation raises.
// Only the check cycle's replacement handler catches it; anywhere else it is reported
// once to the user and ends the supervisor.
class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    int number() const { return number_; }

private:
    int number_;
};

// Error numbers the site's support staff know from the supervisor's error reports.
namespace ErrorNumber {
inline constexpr int FileNotFound = 53;
inline constexpr int PermissionDenied = 70;
inline constexpr int PathFileAccess = 75;
inline constexpr int DeviceUnavailable = 68;
inline constexpr int BadFileName = 52;
}  // namespace ErrorNumber

}  // namespace zorpa
