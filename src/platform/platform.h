// The platform seam: the files, standard handles, paths and process of the operating system, for
// the programs above it. One implementation per platform (platform_posix.cpp, platform_win32.cpp),
// chosen by the build. Errors come back as the program's own error numbers (error_numbers.h),
// translated in one place per platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error_numbers.h"
#include "platform/path_rules.h"

namespace tosim::platform {

// An open file or standard stream; kNoFile when there is none.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// Called first thing: keeps a closed pipe, a crash or a closed standard handle from ending the
// process without a report.
void PrepareProcess();

// The command-line arguments, the program's own name not included.
std::vector<std::string> CommandLineArguments(int argc, char** argv);
// The same, as UTF-8 text: on Windows from the wide command line, whatever the code page;
// elsewhere the bytes as given.
std::vector<std::string> CommandLineArgumentsUtf8(int argc, char** argv);

// Opens an existing file for reading, for this process alone. Returns 0 or an error number.
[[nodiscard]] int OpenForReading(const std::string& path, FileHandle* file);
// Creates a file, or cuts an existing one to length 0, for writing by this process alone. Nothing
// is cut unless the file could be taken for exclusive use. Returns 0 or an error number.
[[nodiscard]] int CreateForWriting(const std::string& path, FileHandle* file);
[[nodiscard]] int CloseFile(FileHandle file);

[[nodiscard]] FileHandle StandardInput();
[[nodiscard]] FileHandle StandardOutput();
[[nodiscard]] FileHandle StandardError();
// True for a console or terminal, which is written out after every fragment.
bool IsCharacterDevice(FileHandle file);

// True for a terminal that shows text rather than bytes: a console on Windows, a terminal whose
// locale's character set is UTF-8 elsewhere. Such a terminal is written with WriteConsoleUtf8().
bool ConsoleTakesText(FileHandle file);
// Shows `utf8` on a terminal for which ConsoleTakesText() is true, whatever its code page.
// Returns 0, or kDiskWriteError.
[[nodiscard]] int WriteConsoleUtf8(FileHandle file, std::string_view utf8);

// Reads up to `capacity` bytes; `*got` is 0 at the end. Returns 0 or an error number.
[[nodiscard]] int ReadFile(FileHandle file, char* data, std::size_t capacity, std::size_t* got);
// Writes all `size` bytes. Returns 0, or kDiskWriteError for a failed or short write.
[[nodiscard]] int WriteFile(FileHandle file, const char* data, std::size_t size);

// Best-effort text for the user outside the trace (the file prompts), on standard error, as it
// stands.
void WriteToStandardError(const std::string& text);

// Eight hex digits' worth of a code address, the same for every run of one build.
std::uint32_t CodeLocation(const void* address);

[[noreturn]] void ExitProcess(int status);

// True for this platform's own spelling of the help switch besides --help and -h ("/?" on
// Windows).
bool IsPlatformHelpSwitch(std::string_view word);

// Paths.
// True when `path` names an existing file that is not a directory; a relative path is taken
// against the current directory.
[[nodiscard]] bool IsExistingFile(const std::string& path);
// True when `path` names an existing directory.
[[nodiscard]] bool IsDirectory(const std::string& path);
// `path` made absolute by this platform's rules.
[[nodiscard]] std::string AbsolutePath(const std::string& path);
// Makes `path` absolute by this platform's rules and splits it.
[[nodiscard]] PathParts SplitPath(const std::string& path);

}  // namespace tosim::platform
