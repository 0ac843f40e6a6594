#include "platform/error_numbers.h"

namespace tosim::platform {

namespace {
// The Windows codes this rule looks at.
constexpr std::uint32_t kWindowsInvalidHandle = 6;
constexpr std::uint32_t kWindowsWriteProtect = 19;
constexpr std::uint32_t kWindowsGeneralFailure = 31;
constexpr std::uint32_t kWindowsSharingViolation = 32;
constexpr int kDeviceErrorShift = kFirstDeviceError - static_cast<int>(kWindowsWriteProtect);
}  // namespace

int TranslateWindowsError(Call call, std::uint32_t code) {
  // Every failed or short write is a disk write error, whatever the code (a full disk is 112, a
  // closed pipe 232, or 233 under wine), and so is a failed close, which reports a write that
  // failed late.
  if (call == Call::Write || (call == Call::Close && code != kWindowsInvalidHandle)) {
    return kDiskWriteError;
  }
  if (code == kWindowsSharingViolation) {  // the file is open elsewhere, without sharing
    return kAccessDenied;
  }
  if (code >= kWindowsWriteProtect && code <= kWindowsGeneralFailure) {
    return static_cast<int>(code) + kDeviceErrorShift;
  }
  return static_cast<int>(code);
}

}  // namespace tosim::platform
