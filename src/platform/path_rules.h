// The path and command-line rules, as pure functions: the platform layer only supplies the
// current directories and the raw command line.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tosim {

struct PathParts {
  std::string directory;  // up to and including the last separator
  std::string name;       // the base name, without extension
  std::string extension;  // from the last dot of the name on, the dot included; may be empty
};

// The current directory of a drive in absolute form ("C:\work", or "C:\" at its root). `drive`
// is an upper-case letter, or 0 for the current drive. For a lettered drive, an answer that does
// not start with that drive (an empty one, for a drive without a current directory) stands for
// the drive's root. The current drive's directory may be a network name ("\\server\share\dir").
using DriveDirectory = std::function<std::string(char drive)>;

// Windows: slashes become backslashes; "X:" paths take drive X's current directory when
// relative, a single leading backslash takes the current drive, "\\" network names stay; "."
// and ".." are resolved without climbing above the root (for a network name, "\\server\share");
// repeated backslashes count as one; a trailing backslash is removed unless the path is a drive
// root or the given path ended with one. A drive letter keeps the case it was typed in.
std::string AbsoluteWindowsPath(std::string_view path, const DriveDirectory& currentDirectory);
// POSIX: a relative path is joined to `currentDirectory`; "." and ".." resolved, never above "/";
// repeated slashes count as one; a trailing slash stays only at "/" or when the given path ended
// with one. A backslash is an ordinary byte.
std::string AbsolutePosixPath(std::string_view path, std::string_view currentDirectory);

// Splits an absolute path; Windows separators are "\" and ":", the POSIX one is "/". A dot in a
// directory name never counts as an extension.
PathParts SplitWindowsPath(std::string_view absolutePath);
PathParts SplitPosixPath(std::string_view absolutePath);

// Splits a Windows command line into arguments, dropping the first word (the program name).
// Runs of bytes 1..32 outside double quotes separate words; a quote toggles quoting and is
// dropped; two adjacent quotes give nothing and toggle nothing; there is no backslash escape. A
// word made of quotes alone is an empty argument. Arguments are never cut.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

}  // namespace tosim
