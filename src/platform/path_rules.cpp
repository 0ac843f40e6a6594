// The path and command-line rules. Nothing here asks the operating system anything: the current
// directories and the command line come in as arguments, so both platforms' rules run and are
// tested everywhere.
#include "platform/path_rules.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tosim {
namespace {

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char ToUpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// "X:" with X a letter, at the start of `path`.
bool StartsWithDrive(std::string_view path) {
  return path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':';
}

// Splits `text` at every `separator`, appending the components to `components`. Empty components
// (from repeated separators) are dropped; "." is dropped; ".." removes the component before it
// but never reaches below `fixed`, the number of leading components that form the root.
void AppendComponents(std::string_view text, char separator, std::size_t fixed,
                      std::vector<std::string>& components) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    const std::string_view component = text.substr(start, end - start);
    if (component.empty() || component == ".") {
      // Nothing to keep.
    } else if (component == "..") {
      if (components.size() > fixed) {
        components.pop_back();
      }
    } else {
      components.emplace_back(component);
    }
    start = end + 1;
  }
}

std::string WithBackslashes(std::string_view path) {
  std::string result(path);
  for (char& c : result) {
    if (c == '/') {
      c = '\\';
    }
  }
  return result;
}

// An absolute Windows path taken apart: the root and the components below it.
//
// A drive root is the letter and colon ("C:"), written "C:\" when nothing follows. A network root
// is "\\server\share": its two names are components that ".." can never remove, so a network path
// is resolved inside its share the way a drive path is resolved inside its drive, and it gets no
// backslash of its own when nothing follows ("\\server\share" is left as given).
struct WindowsPath {
  bool network = false;
  std::string drive;  // "C:" for a drive root; empty for a network root
  std::vector<std::string> components;
  std::size_t fixed = 0;  // leading components that belong to the root (server and share)
};

// Takes the root off an absolute path (backslashes only) and returns the part after it. A path
// with neither form of root (a current directory that is not absolute) keeps an empty drive.
std::string_view TakeRoot(std::string_view path, WindowsPath& parsed) {
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    parsed.network = true;
    path.remove_prefix(2);
    // The server and the share are the first two names, taken as they stand.
    while (parsed.fixed < 2) {
      while (!path.empty() && path.front() == '\\') {
        path.remove_prefix(1);
      }
      if (path.empty()) {
        break;
      }
      const std::size_t end = std::min(path.find('\\'), path.size());
      parsed.components.emplace_back(path.substr(0, end));
      ++parsed.fixed;
      path.remove_prefix(end);
    }
    return path;
  }
  if (StartsWithDrive(path)) {
    parsed.drive = std::string(path.substr(0, 2));
    path.remove_prefix(2);
  }
  return path;
}

// The current directory of `drive` (0 for the current drive), taken apart. An answer for a
// lettered drive that does not name that drive (a drive without a current directory) stands for
// the drive's root.
WindowsPath CurrentDirectoryOf(char drive, const DriveDirectory& currentDirectory) {
  const std::string base = WithBackslashes(currentDirectory(drive));
  WindowsPath parsed;
  if (drive != 0 && !(StartsWithDrive(base) && ToUpperAscii(base[0]) == drive)) {
    parsed.drive = std::string{drive, ':'};
    return parsed;
  }
  AppendComponents(TakeRoot(base, parsed), '\\', parsed.fixed, parsed.components);
  return parsed;
}

std::string Join(const WindowsPath& path) {
  std::string result = path.network ? std::string("\\") : path.drive;
  if (path.components.empty()) {
    return result + '\\';
  }
  for (const std::string& component : path.components) {
    result += '\\';
    result += component;
  }
  return result;
}

// Splits at the last character that `isSeparator` accepts.
template <typename IsSeparator>
PathParts Split(std::string_view path, IsSeparator isSeparator) {
  std::size_t nameStart = path.size();
  while (nameStart > 0 && !isSeparator(path[nameStart - 1])) {
    --nameStart;
  }
  const std::string_view file = path.substr(nameStart);
  const std::size_t dot = file.rfind('.');
  const std::size_t nameLength = dot == std::string_view::npos ? file.size() : dot;
  PathParts parts;
  parts.directory = std::string(path.substr(0, nameStart));
  parts.name = std::string(file.substr(0, nameLength));
  parts.extension = std::string(file.substr(nameLength));
  return parts;
}

}  // namespace

std::string AbsoluteWindowsPath(std::string_view path, const DriveDirectory& currentDirectory) {
  const std::string given = WithBackslashes(path);
  std::string_view rest = given;
  WindowsPath result;

  if (StartsWithDrive(rest)) {
    const std::string_view drive = rest.substr(0, 2);
    rest.remove_prefix(2);
    if (!rest.empty() && rest.front() == '\\') {
      result.drive = std::string(drive);
    } else {
      // Relative to that drive's current directory; the letter stays as it was typed.
      result = CurrentDirectoryOf(ToUpperAscii(drive[0]), currentDirectory);
      result.drive = std::string(drive);
    }
  } else if (rest.size() >= 2 && rest[0] == '\\' && rest[1] == '\\') {
    rest = TakeRoot(rest, result);
  } else if (!rest.empty() && rest.front() == '\\') {
    // The root of the current drive, which may itself be a network share.
    const WindowsPath current = CurrentDirectoryOf(0, currentDirectory);
    result.network = current.network;
    result.drive = current.drive;
    result.fixed = current.fixed;
    result.components.assign(
        current.components.begin(),
        current.components.begin() + static_cast<std::ptrdiff_t>(current.fixed));
  } else {
    result = CurrentDirectoryOf(0, currentDirectory);
  }

  AppendComponents(rest, '\\', result.fixed, result.components);
  std::string absolute = Join(result);
  if (!given.empty() && given.back() == '\\' && absolute.back() != '\\') {
    absolute += '\\';
  }
  return absolute;
}

std::string AbsolutePosixPath(std::string_view path, std::string_view currentDirectory) {
  std::vector<std::string> components;
  if (path.empty() || path.front() != '/') {
    AppendComponents(currentDirectory, '/', 0, components);
  }
  AppendComponents(path, '/', 0, components);
  std::string absolute;
  for (const std::string& component : components) {
    absolute += '/';
    absolute += component;
  }
  // The same trailing-separator rule as on Windows: "/" stays, and a given path that ended with a
  // slash keeps it.
  if (absolute.empty() || (!path.empty() && path.back() == '/')) {
    absolute += '/';
  }
  return absolute;
}

PathParts SplitWindowsPath(std::string_view absolutePath) {
  return Split(absolutePath, [](char c) { return c == '\\' || c == ':'; });
}

PathParts SplitPosixPath(std::string_view absolutePath) {
  return Split(absolutePath, [](char c) { return c == '/'; });
}

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  std::size_t i = 0;
  while (i < commandLine.size()) {
    const char c = commandLine[i];
    const auto byte = static_cast<unsigned char>(c);
    if (!quoted && byte >= 1 && byte <= 32) {
      if (inWord) {
        words.push_back(word);
        word.clear();
        inWord = false;
      }
      ++i;
      continue;
    }
    // Anything else, quotes included, belongs to a word: "" standing alone is an empty word.
    inWord = true;
    if (c == '"') {
      if (i + 1 < commandLine.size() && commandLine[i + 1] == '"') {
        i += 2;  // two adjacent quotes: no character, quoting unchanged
        continue;
      }
      quoted = !quoted;
    } else {
      word += c;
    }
    ++i;
  }
  if (inWord) {
    words.push_back(word);
  }
  // The first word is the program's own name.
  if (!words.empty()) {
    words.erase(words.begin());
  }
  return words;
}

}  // namespace tosim
