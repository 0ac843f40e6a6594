// The platform seam on Windows: files, standard handles, paths and the process through kernel32.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <string>

#include "platform/platform.h"

namespace tosim::platform {

namespace {

// The status of a process ended by an unexpected exception: none of the error numbers of a
// failed input/output call, not even after the 8-bit cut of a POSIX exit status.
constexpr UINT kCrashStatus = 255;

static_assert(sizeof(FileHandle) == sizeof(HANDLE));

HANDLE AsHandle(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

FileHandle AsFile(HANDLE handle) {
  return reinterpret_cast<FileHandle>(handle);
}

int LastError(Call call) {
  return TranslateWindowsError(call, ::GetLastError());
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

std::vector<std::string> CommandLineArgumentsUtf8(int /*argc*/, char** /*argv*/) {
  // The splitting rules look at spaces, quotes and backslashes alone, which UTF-8 keeps as they
  // are.
  const wchar_t* const line = ::GetCommandLineW();
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) {
    return SplitCommandLine(::GetCommandLineA());
  }
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8.data(), size, nullptr, nullptr);
  utf8.resize(static_cast<std::size_t>(size) - 1);
  return SplitCommandLine(utf8);
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

FileHandle StandardError() {
  return StandardHandle(STD_ERROR_HANDLE);
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
    return TranslateWindowsError(Call::Write, ERROR_INVALID_HANDLE);
  }
  const int size = static_cast<int>(utf8.size());
  std::wstring text(static_cast<std::size_t>(size), L'\0');  // never more UTF-16 units than bytes
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, text.data(), size);
  if (length == 0) {
    return TranslateWindowsError(Call::Write, ::GetLastError());
  }
  const wchar_t* next = text.data();
  for (DWORD left = static_cast<DWORD>(length); left > 0;) {
    DWORD written = 0;
    if (::WriteConsoleW(AsHandle(file), next, left, &written, nullptr) == FALSE || written == 0) {
      return TranslateWindowsError(Call::Write, ::GetLastError());
    }
    next += written;
    left -= written;
  }
  return 0;
}

int ReadFile(FileHandle file, char* data, std::size_t capacity, std::size_t* got) {
  *got = 0;
  if (file == kNoFile) {
    return TranslateWindowsError(Call::Read, ERROR_INVALID_HANDLE);
  }
  DWORD count = 0;
  const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(capacity, MAXDWORD));
  if (::ReadFile(AsHandle(file), data, wanted, &count, nullptr) == FALSE) {
    // A pipe whose writer is gone has simply come to its end.
    const DWORD code = ::GetLastError();
    return code == ERROR_BROKEN_PIPE ? 0 : TranslateWindowsError(Call::Read, code);
  }
  *got = count;
  return 0;
}

int WriteFile(FileHandle file, const char* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  if (file == kNoFile || size > MAXDWORD) {
    return TranslateWindowsError(Call::Write, ERROR_INVALID_HANDLE);
  }
  DWORD written = 0;
  if (::WriteFile(AsHandle(file), data, static_cast<DWORD>(size), &written, nullptr) == FALSE ||
      written != size) {
    return TranslateWindowsError(Call::Write, ::GetLastError());
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

bool IsDirectory(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string AbsolutePath(const std::string& path) {
  return AbsoluteWindowsPath(path, DriveCurrentDirectory);
}

PathParts SplitPath(const std::string& path) {
  return SplitWindowsPath(AbsolutePath(path));
}

}  // namespace tosim::platform
