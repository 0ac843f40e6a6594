// The file dialogs on Windows: the common open and save dialogs of comdlg32.
#include <windows.h>
// <commdlg.h> needs the types of <windows.h>.
#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "run/dialogs.h"

namespace tosim {

namespace {

// The dialogs' path buffer, the terminating NUL included.
constexpr DWORD kDialogBufferSize = 260;

// Both filter pairs, each string NUL-terminated; the literal's own NUL ends the list.
constexpr char kDialogFilter[] = "Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0";

constexpr DWORD kOpenDialogFlags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
constexpr DWORD kSaveDialogFlags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
static_assert(kOpenDialogFlags == 0x81004 && kSaveDialogFlags == 0x80006);
static_assert(sizeof(OPENFILENAMEA) == (sizeof(void*) == 4 ? 88 : 152),
              "the dialog record of 32-bit and of 64-bit Windows");

using DialogFunction = BOOL(WINAPI*)(LPOPENFILENAMEA);

// Shows one of the two modal dialogs pre-filled with `path`; afterwards `path` holds the text of
// the dialog's buffer, whatever the answer. A path longer than the buffer is cut to fit it.
Choice ShowDialog(DialogFunction show, DWORD flags, std::string& path) {
  char buffer[kDialogBufferSize] = {};
  std::memcpy(buffer, path.data(), std::min<std::size_t>(path.size(), kDialogBufferSize - 1));

  OPENFILENAMEA record{};
  record.lStructSize = sizeof record;
  record.lpstrFilter = kDialogFilter;
  record.lpstrFile = buffer;
  record.nMaxFile = kDialogBufferSize;
  record.Flags = flags;
  record.lpstrDefExt = "txt";
  const bool confirmed = show(&record) != FALSE;

  path.assign(buffer, ::strnlen(buffer, kDialogBufferSize));
  if (confirmed) {
    return Choice::Chosen;
  }
  // FALSE is both the user's Cancel and a failure; only a failure leaves an error code.
  if (const DWORD error = ::CommDlgExtendedError(); error != 0) {
    platform::WriteToStandardError("El di\xE1logo de ficheros fall\xF3 (error " +
                                   std::to_string(error) + ").\r\n");
    return Choice::Failed;
  }
  return Choice::Cancelled;
}

}  // namespace

Choice OpenFileDialog(std::string& path) {
  return ShowDialog(::GetOpenFileNameA, kOpenDialogFlags, path);
}

Choice SaveFileDialog(std::string& path) {
  return ShowDialog(::GetSaveFileNameA, kSaveDialogFlags, path);
}

}  // namespace tosim
