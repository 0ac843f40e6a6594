#include "path_rules.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace tosim {
namespace {

struct WindowsCase {
  const char* path;
  const char* expected;
  const char* asked;  // the drives whose directory is asked for; '*' is the current drive
};

// Resolves each path on a machine whose current drive C stands in `current`, drive D in D:\data
// and drive E at its root; drive F has no current directory.
void ExpectWindows(std::initializer_list<WindowsCase> cases,
                   const std::string& current = "C:\\work") {
  const std::map<char, std::string> directories = {
      {0, current}, {'C', current}, {'D', "D:\\data"}, {'E', "E:\\"}};
  for (const WindowsCase& c : cases) {
    SCOPED_TRACE(c.path);
    std::string asked;
    const DriveDirectory currentDirectory = [&](char drive) {
      asked += drive == 0 ? '*' : drive;
      const auto found = directories.find(drive);
      return found == directories.end() ? std::string() : found->second;
    };
    EXPECT_EQ(AbsoluteWindowsPath(c.path, currentDirectory), c.expected);
    EXPECT_EQ(asked, c.asked);
  }
}

TEST(WindowsPathTest, RelativePathsResolveBelowTheDriveRoot) {
  ExpectWindows({
      {"plans.txt", "C:\\work\\plans.txt", "*"},
      {"", "C:\\work", "*"},
      {".\\a\\.\\b", "C:\\work\\a\\b", "*"},
      {"a\\\\b", "C:\\work\\a\\b", "*"},
      {"a/b\\c/d", "C:\\work\\a\\b\\c\\d", "*"},
      {"...\\x", "C:\\work\\...\\x", "*"},
      {"a..b\\.x", "C:\\work\\a..b\\.x", "*"},
      {"Sub\\P.Txt", "C:\\work\\Sub\\P.Txt", "*"},
      {"1:x", "C:\\work\\1:x", "*"},  // not a drive letter
      {"..", "C:\\", "*"},
      {"..\\..\\..\\x.txt", "C:\\x.txt", "*"},
      {"C:\\..\\..\\x", "C:\\x", ""},
      // A trailing backslash stays only when given or at the root.
      {"sub/", "C:\\work\\sub\\", "*"},
      {"sub\\..\\", "C:\\work\\", "*"},
      {"..\\", "C:\\", "*"},
      {"sub\\..", "C:\\work", "*"},
  });
}

TEST(WindowsPathTest, DrivesLeadingBackslashesAndNetworkNames) {
  ExpectWindows({
      {"C:\\", "C:\\", ""},
      {"C:/a/b.txt", "C:\\a\\b.txt", ""},
      {"d:\\X", "d:\\X", ""},
      {"d:file.txt", "d:\\data\\file.txt", "D"},
      {"D:", "D:\\data", "D"},
      {"D:..", "D:\\", "D"},
      {"C:plans.txt", "C:\\work\\plans.txt", "C"},
      {"E:", "E:\\", "E"},
      {"F:x.txt", "F:\\x.txt", "F"},
      {"\\", "C:\\", "*"},
      {"/a/b", "C:\\a\\b", "*"},
      {"//server/share/p.txt", "\\\\server\\share\\p.txt", ""},
      {"\\\\server\\share", "\\\\server\\share", ""},
      {"\\\\server", "\\\\server", ""},
      {"\\\\server\\share\\..", "\\\\server\\share", ""},
      {"\\\\server\\share\\", "\\\\server\\share\\", ""},
  });
}

TEST(WindowsPathTest, CurrentDirectoryAtTheRootOrOnAShare) {
  ExpectWindows({{"..\\x.txt", "C:\\x.txt", "*"}, {"", "C:\\", "*"}}, "C:\\");
  ExpectWindows(
      {{"\\p.txt", "\\\\srv\\sh\\p.txt", "*"}, {"..\\..\\p.txt", "\\\\srv\\sh\\p.txt", "*"}},
      "\\\\srv\\sh\\dir");
}

struct SplitCase {
  const char* path;
  const char* directory;
  const char* name;
  const char* extension;
};

void ExpectSplit(std::initializer_list<SplitCase> cases, PathParts (*split)(std::string_view)) {
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.path);
    const PathParts parts = split(c.path);
    EXPECT_EQ(parts.directory, c.directory);
    EXPECT_EQ(parts.name, c.name);
    EXPECT_EQ(parts.extension, c.extension);
  }
}

TEST(SplitPathTest, DirectoryNameAndExtension) {
  ExpectSplit(
      {
          {"C:\\work\\plan.old.txt", "C:\\work\\", "plan.old", ".txt"},
          {"C:\\work.d\\plans", "C:\\work.d\\", "plans", ""},
          {"C:\\work\\.txt", "C:\\work\\", "", ".txt"},
          {"C:\\work\\plans.", "C:\\work\\", "plans", "."},
          {"C:\\", "C:\\", "", ""},
          {"C:plans.txt", "C:", "plans", ".txt"},
          {"C:\\work\\a:b.c", "C:\\work\\a:", "b", ".c"},
      },
      SplitWindowsPath);
  // Only a slash separates on POSIX.
  ExpectSplit(
      {{"/home/a.d\\b", "/home/", "a", ".d\\b"}, {"/home/a:b.txt", "/home/", "a:b", ".txt"}},
      SplitPosixPath);
}

TEST(PosixPathTest, ResolvesAgainstTheCurrentDirectory) {
  const struct {
    const char* current;
    const char* path;
    const char* expected;
  } cases[] = {
      {"/home/ana", "", "/home/ana"},
      {"/home/ana", "./a/./b/../c", "/home/ana/a/c"},
      {"/home/ana", "../../../../p.txt", "/p.txt"},
      {"/home/ana", "/..", "/"},
      {"/home/ana", "//etc///x", "/etc/x"},
      {"/", "x", "/x"},
      // A backslash and a drive letter are ordinary bytes.
      {"/home/ana", "..\\p.txt", "/home/ana/..\\p.txt"},
      {"/home/ana", "C:\\x", "/home/ana/C:\\x"},
      {"/home/ana", "\\x", "/home/ana/\\x"},
      // A trailing slash stays only when given or at the root.
      {"/home/ana", "sub/", "/home/ana/sub/"},
      {"/home/ana", "sub/..", "/home/ana"},
      {"/home/ana", "sub/../", "/home/ana/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(AbsolutePosixPath(c.path, c.current), c.expected);
  }
}

TEST(SplitCommandLineTest, ProgramNameSeparatorsAndQuotes) {
  const struct {
    std::string line;
    std::vector<std::string> expected;
  } cases[] = {
      {"", {}},
      {"tosim.exe", {}},
      {"\"C:\\Program Files\\tosim.exe\" plans.txt", {"plans.txt"}},
      // Separators are runs of bytes 1 to 32; DEL and bytes above 127 are ordinary.
      {"  tosim   a\t\tb  \t", {"a", "b"}},
      {"tosim\1a\37b\r\nc\x20", {"a", "b", "c"}},
      {"tosim !a\x7f", {"!a\x7f"}},
      {"tosim \xf3n \xfa\xa0x", {"\xf3n", "\xfa\xa0x"}},
      // A quote toggles quoting and is dropped; an unclosed one runs to the end.
      {"tosim my\" \"plans.txt", {"my plans.txt"}},
      {"tosim \"a\tb\1c\"", {"a\tb\1c"}},
      {"tosim \"a\"b\" c\"", {"ab c"}},
      {"tosim \"a b", {"a b"}},
      // Two adjacent quotes give nothing and toggle nothing.
      {"tosim \"a\"\" b\"", {"a b"}},
      {"tosim a\"\" b", {"a", "b"}},
      {"tosim \"\"\"a b\"", {"a b"}},
      {"tosim \"\"", {""}},
      {"tosim \"\"\"\" x", {"", "x"}},
      // A backslash escapes nothing.
      {"tosim \"C:\\dir\\\" x", {"C:\\dir\\", "x"}},
      {"tosim a\\ b", {"a\\", "b"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.line));
    EXPECT_EQ(SplitCommandLine(c.line), c.expected);
  }
}

TEST(LongNamesTest, AreNotCut) {
  const std::string name(300, 'n');
  ExpectWindows({{(name + ".txt").c_str(), ("C:\\work\\" + name + ".txt").c_str(), "*"}});
  EXPECT_EQ(AbsolutePosixPath(name, "/home/ana"), "/home/ana/" + name);
  EXPECT_EQ(SplitCommandLine("tosim " + name + " x"), (std::vector<std::string>{name, "x"}));
}

}  // namespace
}  // namespace tosim
