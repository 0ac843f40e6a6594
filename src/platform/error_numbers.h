// The program's error numbers: what a failed input/output call reports, as the exit status and in
// the failure report. They are the numbers of Windows, the program's home platform; elsewhere the
// system's error codes are translated into them.
#pragma once

#include <cstdint>

namespace tosim::platform {

enum ErrorNumber : int {
  kNoError = 0,
  kFileNotFound = 2,
  kPathNotFound = 3,
  kTooManyOpenFiles = 4,
  kAccessDenied = 5,
  kInvalidHandle = 6,
  kDiskReadError = 100,
  kDiskWriteError = 101,
  // The device errors, Windows codes 19 to 31 moved up by 131.
  kWriteProtected = 150,
  kDeviceNotReady = 152,
  kReadFault = 161,
  kFirstDeviceError = 150,
  kLastDeviceError = 162,
};

// The kind of call that failed: a write (and a late one, at closing) fails as a disk write error
// whatever the cause.
enum class Call : std::uint8_t { Open, Read, Write, Close };

// Windows error codes as the program's error numbers. Written with the codes' values, so that it
// is the same rule on every platform (and tested on every one).
[[nodiscard]] int TranslateWindowsError(Call call, std::uint32_t code);

}  // namespace tosim::platform
