// The path and command-line rules of both platforms. The end-to-end cases reach each platform's
// rules only on that platform; here all of them run everywhere.
#include "platform/path_rules.h"

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
  const char* asked;  // the drives whose directory the rule asks for; '*' is the current drive
};

// On a machine whose current drive C stands in `current`, D in D:\data, E at its root; F and Z
// have no current directory, and G's answer names another drive, which counts as none.
void ExpectWindows(std::initializer_list<WindowsCase> cases, const std::string& current) {
  const std::map<char, std::string> directories = {
      {0, current}, {'C', current}, {'D', "D:\\data"}, {'E', "E:\\"}, {'G', "X:\\elsewhere"}};
  for (const WindowsCase& c : cases) {
    std::string asked;
    const std::string absolute = AbsoluteWindowsPath(c.path, [&](char drive) {
      asked += drive == 0 ? '*' : drive;
      const auto found = directories.find(drive);
      return found == directories.end() ? std::string() : found->second;
    });
    EXPECT_EQ(absolute, c.expected) << c.path;
    EXPECT_EQ(asked, c.asked) << c.path;
  }
}

// Relative paths resolve below the current directory; "." and ".." never climb above the root
// of the drive or of the share "\\server\share"; repeated separators count as one; a trailing
// backslash stays only when given or at a root. "X:" takes drive X's current directory, "X:\" its
// root, and the letter keeps the case it was typed in; "\" alone is the current drive's root.
TEST(PathRules, WindowsPathsResolveBelowTheRootOfTheirDriveOrShare) {
  // clang-format off
  ExpectWindows({
      {"plans.txt", "C:\\work\\plans.txt", "*"}, {"", "C:\\work", "*"},
      {".\\a\\.\\b", "C:\\work\\a\\b", "*"}, {"a\\\\b", "C:\\work\\a\\b", "*"},
      {"a/b\\c/d", "C:\\work\\a\\b\\c\\d", "*"}, {"...\\x", "C:\\work\\...\\x", "*"},
      {"a..b\\.x", "C:\\work\\a..b\\.x", "*"}, {"1:x", "C:\\work\\1:x", "*"},
      {"..", "C:\\", "*"}, {"..\\..\\..\\x.txt", "C:\\x.txt", "*"}, {"C:\\..\\..\\x", "C:\\x", ""},
      {"sub/", "C:\\work\\sub\\", "*"}, {"sub\\..\\", "C:\\work\\", "*"},
      {"..\\", "C:\\", "*"}, {"sub\\..", "C:\\work", "*"},
      // Drives, at both ends of the alphabet and in both cases.
      {"C:\\", "C:\\", ""}, {"C:/a/b.txt", "C:\\a\\b.txt", ""}, {"A:\\x", "A:\\x", ""},
      {"Z:\\x", "Z:\\x", ""}, {"a:x", "a:\\x", "A"}, {"z:x", "z:\\x", "Z"},
      {"d:file.txt", "d:\\data\\file.txt", "D"}, {"D:", "D:\\data", "D"}, {"D:..", "D:\\", "D"},
      {"E:", "E:\\", "E"}, {"C:p.txt", "C:\\work\\p.txt", "C"}, {"F:x.txt", "F:\\x.txt", "F"},
      {"G:x", "G:\\x", "G"}, {"\\", "C:\\", "*"}, {"/a/b", "C:\\a\\b", "*"},
      // Network names.
      {"//server/share/p.txt", "\\\\server\\share\\p.txt", ""},
      {"\\\\server\\share", "\\\\server\\share", ""}, {"\\\\server", "\\\\server", ""},
      {"\\\\server\\share\\..", "\\\\server\\share", ""},
      {"\\\\server\\share\\", "\\\\server\\share\\", ""}, {"\\\\", "\\\\", ""}},
      "C:\\work");
  ExpectWindows({{"..\\x.txt", "C:\\x.txt", "*"}, {"", "C:\\", "*"}}, "C:\\");
  ExpectWindows({{"\\p.txt", "\\\\srv\\sh\\p.txt", "*"},
                 {"..\\..\\p.txt", "\\\\srv\\sh\\p.txt", "*"}}, "\\\\srv\\sh\\dir");
  // clang-format on
}

// A relative path is joined to the current directory; "." and ".." never climb above "/"; a
// trailing slash stays only when given or at the root; a backslash and a colon are ordinary.
TEST(PathRules, PosixPathsResolveAgainstTheCurrentDirectory) {
  const struct {
    const char *current, *path, *expected;
  } cases[] = {// clang-format off
      {"/home/ana", "", "/home/ana"}, {"/home/ana", "./a/./b/../c", "/home/ana/a/c"},
      {"/home/ana", "../../../../p.txt", "/p.txt"}, {"/home/ana", "/..", "/"},
      {"/home/ana", "//etc///x", "/etc/x"}, {"/", "x", "/x"},
      {"/home/ana", "..\\p.txt", "/home/ana/..\\p.txt"}, {"/home/ana", "C:\\x", "/home/ana/C:\\x"},
      {"/home/ana", "sub/", "/home/ana/sub/"}, {"/home/ana", "sub/..", "/home/ana"},
      {"/home/ana", "sub/../", "/home/ana/"}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(AbsolutePosixPath(c.path, c.current), c.expected) << c.path;
  }
}

// A dot in a directory name is no extension; Windows separates at "\" and ":", POSIX at "/".
TEST(PathRules, SplitIntoDirectoryNameAndExtension) {
  const struct {
    PathParts (*split)(std::string_view);
    const char *path, *parts;
  } cases[] = {{SplitWindowsPath, "C:\\work\\plan.old.txt", "C:\\work\\|plan.old|.txt"},
               {SplitWindowsPath, "C:\\work.d\\plans", "C:\\work.d\\|plans|"},
               {SplitWindowsPath, "C:\\work\\.txt", "C:\\work\\||.txt"},
               {SplitWindowsPath, "C:\\work\\plans.", "C:\\work\\|plans|."},
               {SplitWindowsPath, "C:\\", "C:\\||"},
               {SplitWindowsPath, "C:plans.txt", "C:|plans|.txt"},
               {SplitWindowsPath, "C:\\work\\a:b.c", "C:\\work\\a:|b|.c"},
               {SplitPosixPath, "/home/a.d\\b", "/home/|a|.d\\b"},
               {SplitPosixPath, "/home/a:b.txt", "/home/|a:b|.txt"}};
  for (const auto& c : cases) {
    const PathParts parts = c.split(c.path);
    EXPECT_EQ(parts.directory + '|' + parts.name + '|' + parts.extension, c.parts);
  }
}

// The program's name is dropped. Runs of bytes 1 to 32 outside quotes separate words; a quote
// toggles quoting and is dropped, an unclosed one runs to the end; two adjacent quotes give
// nothing and toggle nothing; quotes alone make an empty word; a backslash escapes nothing.
TEST(PathRules, CommandLineSplitsLikeWindowsProgramsWithoutBackslashEscapes) {
  const struct {
    std::string line;
    std::vector<std::string> expected;
  } cases[] = {// clang-format off
      {"", {}}, {"tosim.exe", {}}, {"\"C:\\Program Files\\tosim.exe\" plans.txt", {"plans.txt"}},
      {"  tosim   a\t\tb  \t", {"a", "b"}}, {"tosim\1a\37b\r\nc\x20", {"a", "b", "c"}},
      {"tosim !a\x7f", {"!a\x7f"}}, {"tosim \xf3n \xfa\xa0x", {"\xf3n", "\xfa\xa0x"}},
      {"tosim my\" \"plans.txt", {"my plans.txt"}}, {"tosim \"a\tb\1c\"", {"a\tb\1c"}},
      {"tosim \"a\"b\" c\"", {"ab c"}}, {"tosim \"a b", {"a b"}},
      {"tosim \"a\"\" b\"", {"a b"}}, {"tosim a\"\" b", {"a", "b"}},
      {"tosim \"\"\"a b\"", {"a b"}}, {"tosim \"\"", {""}}, {"tosim \"\"\"\" x", {"", "x"}},
      {"tosim \"C:\\dir\\\" x", {"C:\\dir\\", "x"}}, {"tosim a\\ b", {"a\\", "b"}}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.line), c.expected) << ::testing::PrintToString(c.line);
  }
}

}  // namespace
}  // namespace tosim
