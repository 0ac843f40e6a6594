// Windows error codes as the program's error numbers: the device errors are moved up, a sharing
// violation is "access denied", and every failed write is a disk write error.
#include "platform/error_numbers.h"

#include <gtest/gtest.h>

namespace tosim::platform {
namespace {

TEST(ErrorNumbers, WindowsCodesBecomeTheProgramsNumbers) {
  EXPECT_EQ(TranslateWindowsError(Call::Open, 2), kFileNotFound);
  EXPECT_EQ(TranslateWindowsError(Call::Open, 32), kAccessDenied);
  EXPECT_EQ(TranslateWindowsError(Call::Open, 19), 150);
  EXPECT_EQ(TranslateWindowsError(Call::Read, 31), 162);
  EXPECT_EQ(TranslateWindowsError(Call::Read, 18), 18);
  EXPECT_EQ(TranslateWindowsError(Call::Read, 32 + 1), 33);
  EXPECT_EQ(TranslateWindowsError(Call::Write, 112), kDiskWriteError);
  EXPECT_EQ(TranslateWindowsError(Call::Close, 5), kDiskWriteError);
  EXPECT_EQ(TranslateWindowsError(Call::Close, 6), kInvalidHandle);
}

}  // namespace
}  // namespace tosim::platform
