// The platform seam on 32-bit Windows: files and standard handles through kernel32, the plan and
// listing files chosen in the common open and save dialogs of comdlg32.
#include <windows.h>
// <commdlg.h> needs the types of <windows.h>.
#include <commdlg.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <string>

#include "platform.h"

namespace tosim::platform {

namespace {

// The status of a process ended by an unexpected exception: none of the error numbers of a
// failed input/output call, not even after the 8-bit cut of a POSIX exit status.
constexpr UINT kCrashStatus = 255;

// The dialogs' path buffer, the terminating NUL included.
constexpr DWORD kDialogBufferSize = 260;

// Both filter pairs, each string NUL-terminated; the literal's own NUL ends the list.
constexpr char kDialogFilter[] = "Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0";

constexpr DWORD kOpenDialogFlags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
constexpr DWORD kSaveDialogFlags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
static_assert(kOpenDialogFlags == 0x81004 && kSaveDialogFlags == 0x80006);
static_assert(sizeof(OPENFILENAMEA) == (sizeof(void*) == 4 ? 88 : 152),
              "the dialog record of 32-bit and of 64-bit Windows");
static_assert(sizeof(FileHandle) == sizeof(HANDLE));

HANDLE AsHandle(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

FileHandle AsFile(HANDLE handle) {
  return reinterpret_cast<FileHandle>(handle);
}

enum class Call { Open, Read, Write, Close };

// The one place where a Windows error code becomes the program's error number. Every failed or
// short write is a disk write error, whatever the code (a full disk is 112, a closed pipe 232, or
// 233 under wine), and so is a failed close, which reports a write that failed late.
int ErrorNumber(Call call, DWORD code) {
  if (call == Call::Write || (call == Call::Close && code != ERROR_INVALID_HANDLE)) {
    return 101;
  }
  if (code == ERROR_SHARING_VIOLATION) {  // the file is open elsewhere, without sharing
    return ERROR_ACCESS_DENIED;
  }
  if (code >= ERROR_WRITE_PROTECT && code <= ERROR_GEN_FAILURE) {
    return static_cast<int>(code) + 131;  // device errors 19..31 as 150..162
  }
  return static_cast<int>(code);
}

int LastError(Call call) {
  return ErrorNumber(call, ::GetLastError());
}

FileHandle StandardHandle(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    return kNoFile;
  }
  return AsFile(handle);
}

// The crash line, composed in a fixed buffer and cut at its end.
class CrashReport {
 public:
  CrashReport& operator<<(const char* text) {
    while (*text != '\0' && used_ < sizeof text_) {
      text_[used_++] = *text++;
    }
    return *this;
  }
  CrashReport& Hex8(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int shift = 28; shift >= 0 && used_ < sizeof text_; shift -= 4) {
      text_[used_++] = kDigits[(value >> shift) & 0xFu];
    }
    return *this;
  }
  void Send() const {
    const FileHandle error = StandardHandle(STD_ERROR_HANDLE);
    if (error != kNoFile) {
      (void)WriteFile(error, text_, used_);
    }
  }

 private:
  char text_[128] = {};
  std::size_t used_ = 0;
};

// Ends the process at once, without a debugger and without waiting for anybody: a best-effort
// line on standard error (from a fixed buffer: the heap may be what broke), then the crash
// status.
[[noreturn]] void EndAfterCrash(const CrashReport& report) {
  report.Send();
  ::TerminateProcess(::GetCurrentProcess(), kCrashStatus);
  ::ExitProcess(kCrashStatus);
}

LONG WINAPI EndOnUnhandledException(EXCEPTION_POINTERS* exception) {
  CrashReport report;
  report << "Excepci\xF3n no tratada";
  const EXCEPTION_RECORD* record = exception != nullptr ? exception->ExceptionRecord : nullptr;
  if (record != nullptr) {
    report << " ";
    report.Hex8(record->ExceptionCode) << " en $";
    report.Hex8(CodeLocation(record->ExceptionAddress));
  }
  report << "\r\n";
  EndAfterCrash(report);
}

[[noreturn]] void EndOnTerminate() {
  CrashReport report;
  report << "Excepci\xF3n de C++ no tratada\r\n";
  EndAfterCrash(report);
}

std::string CurrentDirectory() {
  std::string directory(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        ::GetCurrentDirectoryA(static_cast<DWORD>(directory.size()), directory.data());
    if (length == 0) {
      return std::string();
    }
    if (length < directory.size()) {
      directory.resize(length);
      return directory;
    }
    directory.resize(length);  // the size it needs, its NUL included
  }
}

// The current directory of `drive` (0: the current drive). Another drive's current directory is
// the one the system itself uses for a drive-relative path: the "=X:" environment variable, so
// that the path made absolute here names the file that the attribute query found. Without the
// variable the answer is empty, which stands for the drive's root.
std::string DriveCurrentDirectory(char drive) {
  const std::string current = CurrentDirectory();
  if (drive == 0) {
    return current;
  }
  if (current.size() >= 2 && current[1] == ':' &&
      (current[0] == drive || current[0] == drive - 'A' + 'a')) {
    return current;
  }
  const char name[] = {'=', drive, ':', '\0'};
  std::string directory(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        ::GetEnvironmentVariableA(name, directory.data(), static_cast<DWORD>(directory.size()));
    if (length == 0) {
      return std::string();
    }
    if (length < directory.size()) {
      directory.resize(length);
      return directory;
    }
    directory.resize(length);
  }
}

using DialogFunction = BOOL(WINAPI*)(LPOPENFILENAMEA);

// Shows one of the two modal dialogs pre-filled with `path`; afterwards `path` holds the text of
// the dialog's buffer, whatever the answer. A path longer than the buffer is cut to fit it.
bool ShowDialog(DialogFunction show, DWORD flags, std::string& path) {
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
  return confirmed;
}

}  // namespace

void PrepareProcess() {
  // No message box for a missing drive or a crash, and no debugger for an exception nobody
  // handles: the process ends with the crash status instead of waiting for a click.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  ::SetUnhandledExceptionFilter(EndOnUnhandledException);
  std::set_terminate(EndOnTerminate);
}

std::vector<std::string> CommandLineArguments(int /*argc*/, char** /*argv*/) {
  // The raw command line by this program's own rules, not the C runtime's.
  return SplitCommandLine(::GetCommandLineA());
}

int OpenForReading(const std::string& path, FileHandle* file) {
  // Share mode 0: nobody else may open the file while the run reads it. A directory is refused
  // with "access denied".
  const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return LastError(Call::Open);
  }
  *file = AsFile(handle);
  return 0;
}

int CreateForWriting(const std::string& path, FileHandle* file) {
  // Opened without cutting, and cut only once this process holds the file alone: a file open
  // elsewhere (the plan file among them) fails with a sharing violation and is left intact.
  const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return LastError(Call::Open);
  }
  // A device (NUL, CON) has no length to cut.
  if (::GetFileType(handle) == FILE_TYPE_DISK && ::SetEndOfFile(handle) == FALSE) {
    const int error = LastError(Call::Open);
    ::CloseHandle(handle);
    return error;
  }
  *file = AsFile(handle);
  return 0;
}

int CloseFile(FileHandle file) {
  if (::CloseHandle(AsHandle(file)) == FALSE) {
    return LastError(Call::Close);
  }
  return 0;
}

FileHandle StandardInput() {
  return StandardHandle(STD_INPUT_HANDLE);
}

FileHandle StandardOutput() {
  return StandardHandle(STD_OUTPUT_HANDLE);
}

bool IsCharacterDevice(FileHandle file) {
  return file != kNoFile && ::GetFileType(AsHandle(file)) == FILE_TYPE_CHAR;
}

bool ConsoleTakesText(FileHandle file) {
  DWORD mode = 0;
  return file != kNoFile && ::GetConsoleMode(AsHandle(file), &mode) != FALSE;
}

int WriteConsoleUtf8(FileHandle file, std::string_view utf8) {
  if (utf8.empty()) {
    return 0;
  }
  if (file == kNoFile || utf8.size() > static_cast<std::size_t>(INT_MAX)) {
    return ErrorNumber(Call::Write, ERROR_INVALID_HANDLE);
  }
  const int size = static_cast<int>(utf8.size());
  std::wstring text(static_cast<std::size_t>(size), L'\0');  // never more UTF-16 units than bytes
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, text.data(), size);
  if (length == 0) {
    return ErrorNumber(Call::Write, ::GetLastError());
  }
  const wchar_t* next = text.data();
  for (DWORD left = static_cast<DWORD>(length); left > 0;) {
    DWORD written = 0;
    if (::WriteConsoleW(AsHandle(file), next, left, &written, nullptr) == FALSE || written == 0) {
      return ErrorNumber(Call::Write, ::GetLastError());
    }
    next += written;
    left -= written;
  }
  return 0;
}

int ReadFile(FileHandle file, char* data, std::size_t capacity, std::size_t* got) {
  *got = 0;
  if (file == kNoFile) {
    return ErrorNumber(Call::Read, ERROR_INVALID_HANDLE);
  }
  DWORD count = 0;
  const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(capacity, MAXDWORD));
  if (::ReadFile(AsHandle(file), data, wanted, &count, nullptr) == FALSE) {
    // A pipe whose writer is gone has simply come to its end.
    const DWORD code = ::GetLastError();
    return code == ERROR_BROKEN_PIPE ? 0 : ErrorNumber(Call::Read, code);
  }
  *got = count;
  return 0;
}

int WriteFile(FileHandle file, const char* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  if (file == kNoFile || size > MAXDWORD) {
    return ErrorNumber(Call::Write, ERROR_INVALID_HANDLE);
  }
  DWORD written = 0;
  if (::WriteFile(AsHandle(file), data, static_cast<DWORD>(size), &written, nullptr) == FALSE ||
      written != size) {
    return ErrorNumber(Call::Write, ::GetLastError());
  }
  return 0;
}

void WriteToStandardError(const std::string& text) {
  const FileHandle error = StandardHandle(STD_ERROR_HANDLE);
  if (error != kNoFile) {
    (void)WriteFile(error, text.data(), text.size());
  }
}

std::uint32_t CodeLocation(const void* address) {
  // The address as the program was linked: a module that the loader moved (address space layout
  // randomisation) is taken back to its preferred base, so that one build always names the same
  // place.
  const auto where = reinterpret_cast<std::uintptr_t>(address);
  HMODULE module = nullptr;
  if (::GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(address), &module) == FALSE ||
      module == nullptr) {
    return static_cast<std::uint32_t>(where);
  }
  const auto base = reinterpret_cast<std::uintptr_t>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) {
    return static_cast<std::uint32_t>(where);
  }
  const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  if (headers->Signature != IMAGE_NT_SIGNATURE) {
    return static_cast<std::uint32_t>(where);
  }
  return static_cast<std::uint32_t>(where - base + headers->OptionalHeader.ImageBase);
}

void ExitProcess(int status) {
  ::ExitProcess(static_cast<UINT>(status));
}

bool IsPlatformHelpSwitch(std::string_view word) {
  return word == "/?";
}

bool IsExistingFile(const std::string& path) {
  // Any existing file passes, whatever its archive attribute; a directory does not.
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

PathParts SplitPath(const std::string& path) {
  return SplitWindowsPath(AbsoluteWindowsPath(path, DriveCurrentDirectory));
}

bool OpenFileDialog(std::string& path) {
  return ShowDialog(::GetOpenFileNameA, kOpenDialogFlags, path);
}

bool SaveFileDialog(std::string& path) {
  return ShowDialog(::GetSaveFileNameA, kSaveDialogFlags, path);
}

}  // namespace tosim::platform
