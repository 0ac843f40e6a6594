// The platform seam on POSIX systems.
#include <dlfcn.h>
#include <fcntl.h>
#include <langinfo.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>

#include "platform/platform.h"

namespace tosim::platform {

namespace {

bool standardClosed[3] = {false, false, false};

// The one place where errno becomes the program's error number. Every failed or short write is a
// disk write error, and so is a failed close, which reports a write that failed late. `path`
// tells "file not found" from "path not found", which POSIX both calls ENOENT. A code without a
// Windows counterpart is a disk read error for a read and "access denied" for an open: never a
// number of its own, which would mean something else to the user.
int TranslateErrno(Call call, int error, const std::string* path = nullptr) {
  if (call == Call::Write || (call == Call::Close && error != EBADF)) {
    return kDiskWriteError;
  }
  switch (error) {
    case ENOENT: {
      if (path == nullptr) {
        return kFileNotFound;
      }
      const std::size_t slash = path->find_last_of('/');
      const std::string directory =
          slash == std::string::npos ? "." : (slash == 0 ? "/" : path->substr(0, slash));
      return IsDirectory(directory) ? kFileNotFound : kPathNotFound;
    }
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return kPathNotFound;
    case EMFILE:
    case ENFILE:
      return kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EWOULDBLOCK:
    case ETXTBSY:
    case EBUSY:
      return kAccessDenied;
    case EBADF:
      return kInvalidHandle;
    case EROFS:
      return kWriteProtected;
    case ENXIO:
    case ENODEV:
      return kDeviceNotReady;
    case EIO:
      return kReadFault;
    default:
      return call == Call::Read ? kDiskReadError : kAccessDenied;
  }
}

// The error number of a failed open, with `descriptor` (if any) closed again.
int FailedOpen(int descriptor, const std::string& path, int error = errno) {
  error = TranslateErrno(Call::Open, error, &path);
  if (descriptor >= 0) {
    ::close(descriptor);
  }
  return error;
}

// Takes a regular file for this process alone, as a file opened without sharing. A file that
// another process holds under an exclusive lock, or the other name of a file this run has open
// already, is refused.
int LockExclusively(int descriptor, const std::string& path, struct stat& status) {
  if (::fstat(descriptor, &status) != 0) {
    return FailedOpen(descriptor, path);
  }
  if (S_ISDIR(status.st_mode)) {
    return FailedOpen(descriptor, path, EISDIR);
  }
  if (S_ISREG(status.st_mode) && ::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
    return FailedOpen(descriptor, path);
  }
  return 0;
}

std::string CurrentDirectory() {
  std::string directory(256, '\0');
  while (::getcwd(directory.data(), directory.size()) == nullptr) {
    if (errno != ERANGE) {
      return "/";
    }
    directory.resize(directory.size() * 2);
  }
  directory.resize(directory.find('\0'));
  return directory;
}

// True when the user's locale (LANG, LC_ALL, LC_CTYPE) has UTF-8 as its character set. The
// process itself stays in the "C" locale.
bool LocaleIsUtf8() {
  static const bool utf8 = [] {
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = current != nullptr ? current : "C";
    bool result = false;
    if (std::setlocale(LC_CTYPE, "") != nullptr) {
      const char* codeset = ::nl_langinfo(CODESET);
      result = ::strcasecmp(codeset, "UTF-8") == 0 || ::strcasecmp(codeset, "UTF8") == 0;
    }
    std::setlocale(LC_CTYPE, saved.c_str());
    return result;
  }();
  return utf8;
}

}  // namespace

void PrepareProcess() {
  // A closed pipe, or a file grown past the size limit, is reported as a failed write, not a
  // silent death by signal.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  // A closed standard handle stays unusable, and no file opened later may take its place.
  for (int descriptor = 0; descriptor < 3; ++descriptor) {
    if (::fcntl(descriptor, F_GETFD) == -1 && errno == EBADF) {
      standardClosed[descriptor] = true;
      (void)::open("/dev/null", O_RDWR);
    }
  }
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::vector<std::string> CommandLineArgumentsUtf8(int argc, char** argv) {
  return CommandLineArguments(argc, argv);
}

int OpenForReading(const std::string& path, FileHandle* file) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (descriptor < 0) {
    return FailedOpen(-1, path);
  }
  struct stat status {};
  if (const int error = LockExclusively(descriptor, path, status); error != 0) {
    return error;
  }
  *file = descriptor;
  return 0;
}

int CreateForWriting(const std::string& path, FileHandle* file) {
  // Opened without cutting: the file is cut only once this process holds it alone, so that a
  // file in use, the plan file among them, is never damaged.
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (descriptor < 0) {
    return FailedOpen(-1, path);
  }
  struct stat status {};
  if (const int error = LockExclusively(descriptor, path, status); error != 0) {
    return error;
  }
  // Only a file with bytes in it is cut: a device has no length, and cutting a new, empty file
  // would make ext4 take it for a file being replaced and write it all out to disk at close.
  if (S_ISREG(status.st_mode) && status.st_size > 0 && ::ftruncate(descriptor, 0) != 0) {
    return FailedOpen(descriptor, path);
  }
  *file = descriptor;
  return 0;
}

int CloseFile(FileHandle file) {
  if (::close(static_cast<int>(file)) != 0) {
    return TranslateErrno(Call::Close, errno);
  }
  return 0;
}

FileHandle StandardInput() {
  return standardClosed[0] ? kNoFile : STDIN_FILENO;
}
FileHandle StandardOutput() {
  return standardClosed[1] ? kNoFile : STDOUT_FILENO;
}
FileHandle StandardError() {
  return standardClosed[2] ? kNoFile : STDERR_FILENO;
}

bool IsCharacterDevice(FileHandle file) {
  return ::isatty(static_cast<int>(file)) == 1;
}

bool ConsoleTakesText(FileHandle file) {
  return IsCharacterDevice(file) && LocaleIsUtf8();
}

int WriteConsoleUtf8(FileHandle file, std::string_view utf8) {
  return WriteFile(file, utf8.data(), utf8.size());
}

int ReadFile(FileHandle file, char* data, std::size_t capacity, std::size_t* got) {
  for (;;) {
    const ssize_t count = ::read(static_cast<int>(file), data, capacity);
    if (count >= 0) {
      *got = static_cast<std::size_t>(count);
      return 0;
    }
    if (errno != EINTR) {
      return TranslateErrno(Call::Read, errno);
    }
  }
}

int WriteFile(FileHandle file, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t count = ::write(static_cast<int>(file), data, size);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      return TranslateErrno(Call::Write, count < 0 ? errno : ENOSPC);
    }
    data += count;
    size -= static_cast<std::size_t>(count);
  }
  return 0;
}

void WriteToStandardError(const std::string& text) {
  if (!standardClosed[2]) {
    (void)WriteFile(STDERR_FILENO, text.data(), text.size());
  }
}

std::uint32_t CodeLocation(const void* address) {
  Dl_info info{};
  const auto where = reinterpret_cast<std::uintptr_t>(address);
  if (::dladdr(address, &info) != 0 && info.dli_fbase != nullptr) {
    return static_cast<std::uint32_t>(where - reinterpret_cast<std::uintptr_t>(info.dli_fbase));
  }
  return static_cast<std::uint32_t>(where);
}

void ExitProcess(int status) {
  std::exit(status);
}

bool IsPlatformHelpSwitch(std::string_view /*word*/) {
  return false;
}

bool IsExistingFile(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

bool IsDirectory(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string AbsolutePath(const std::string& path) {
  return AbsolutePosixPath(path, CurrentDirectory());
}

PathParts SplitPath(const std::string& path) {
  return SplitPosixPath(AbsolutePath(path));
}

}  // namespace tosim::platform
