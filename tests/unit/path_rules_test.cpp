#include "path_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tosim {
namespace {

using Words = std::vector<std::string>;

// A Windows machine whose current directory is C:\work; drive D stands in D:\data, drive E at
// its root, and drive F has no current directory. Every question is recorded.
class WindowsPathTest : public ::testing::Test {
 protected:
  std::string Absolute(const std::string& path) {
    return AbsoluteWindowsPath(path, [this](char drive) -> std::string {
      asked_.push_back(drive);
      switch (drive) {
        case 0:
        case 'C':
          return "C:\\work";
        case 'D':
          return "D:\\data";
        case 'E':
          return "E:\\";
        default:
          return "";
      }
    });
  }

  // The default listing path derived from a plan path.
  std::string Listing(const std::string& plan) {
    const PathParts parts = SplitWindowsPath(Absolute(plan));
    return parts.directory + parts.name + ".lst";
  }

  std::vector<char> asked_;
};

TEST_F(WindowsPathTest, ListingPathsOfTheUsualArguments) {
  EXPECT_EQ(Listing("plans.txt"), "C:\\work\\plans.lst");
  EXPECT_EQ(Listing("data\\plan.old.txt"), "C:\\work\\data\\plan.old.lst");
  EXPECT_EQ(SplitWindowsPath(Absolute("data\\plan.old.txt")).name, "plan.old");
  EXPECT_EQ(Listing("..\\p.txt"), "C:\\p.lst");
  EXPECT_EQ(Listing("sub/p.txt"), "C:\\work\\sub\\p.lst");
  EXPECT_EQ(Listing("C:\\work\\plans"), "C:\\work\\plans.lst");
}

TEST_F(WindowsPathTest, ExtensionOnlyNameHasAnEmptyBaseName) {
  const PathParts parts = SplitWindowsPath(Absolute(".txt"));
  EXPECT_EQ(parts.directory, "C:\\work\\");
  EXPECT_EQ(parts.name, "");
  EXPECT_EQ(parts.extension, ".txt");
  EXPECT_EQ(Listing(".txt"), "C:\\work\\.lst");
}

TEST_F(WindowsPathTest, RelativePathsJoinTheCurrentDirectory) {
  EXPECT_EQ(Absolute("plans.txt"), "C:\\work\\plans.txt");
  EXPECT_EQ(Absolute("a\\b\\c.txt"), "C:\\work\\a\\b\\c.txt");
  EXPECT_EQ(Absolute(""), "C:\\work");
  EXPECT_EQ(Absolute("."), "C:\\work");
  EXPECT_EQ(Absolute(".\\a\\.\\b"), "C:\\work\\a\\b");
  EXPECT_EQ(Absolute("a\\\\b"), "C:\\work\\a\\b");
  EXPECT_EQ(asked_, std::vector<char>(6, 0));
}

TEST_F(WindowsPathTest, DotsThatAreNotComponentsAreNames) {
  EXPECT_EQ(Absolute("...\\x"), "C:\\work\\...\\x");
  EXPECT_EQ(Absolute("a..b\\.x"), "C:\\work\\a..b\\.x");
  EXPECT_EQ(Absolute("..x"), "C:\\work\\..x");
}

TEST_F(WindowsPathTest, SlashesBecomeBackslashes) {
  EXPECT_EQ(Absolute("C:/a/b.txt"), "C:\\a\\b.txt");
  EXPECT_EQ(Absolute("a/b\\c/d"), "C:\\work\\a\\b\\c\\d");
}

TEST_F(WindowsPathTest, LettersKeepTheirCase) {
  EXPECT_EQ(Absolute("C:\\Work\\Plans.TXT"), "C:\\Work\\Plans.TXT");
  EXPECT_EQ(Absolute("Sub\\P.Txt"), "C:\\work\\Sub\\P.Txt");
}

TEST_F(WindowsPathTest, DotDotNeverClimbsAboveTheDriveRoot) {
  EXPECT_EQ(Absolute(".."), "C:\\");
  EXPECT_EQ(Absolute("..\\..\\..\\x.txt"), "C:\\x.txt");
  EXPECT_EQ(Absolute("C:\\.."), "C:\\");
  EXPECT_EQ(Absolute("C:\\..\\..\\x"), "C:\\x");
  EXPECT_EQ(Absolute("C:\\a\\.\\b\\..\\c"), "C:\\a\\c");
  EXPECT_EQ(Absolute("C:\\a\\b\\..\\..\\.."), "C:\\");
  EXPECT_EQ(Absolute("C:\\"), "C:\\");
}

TEST_F(WindowsPathTest, AbsoluteDrivePathsAskNothing) {
  EXPECT_EQ(Absolute("D:\\x.txt"), "D:\\x.txt");
  EXPECT_EQ(Absolute("d:\\X"), "d:\\X");
  EXPECT_EQ(Absolute("D:\\"), "D:\\");
  EXPECT_TRUE(asked_.empty());
}

TEST_F(WindowsPathTest, DriveRelativePathsTakeThatDrivesDirectory) {
  EXPECT_EQ(Absolute("D:file.txt"), "D:\\data\\file.txt");
  EXPECT_EQ(Absolute("D:"), "D:\\data");
  EXPECT_EQ(Absolute("D:.."), "D:\\");
  EXPECT_EQ(Absolute("D:..\\..\\x"), "D:\\x");
  EXPECT_EQ(Absolute("D:sub/x"), "D:\\data\\sub\\x");
  EXPECT_EQ(Absolute("C:plans.txt"), "C:\\work\\plans.txt");
  EXPECT_EQ(asked_, (std::vector<char>{'D', 'D', 'D', 'D', 'D', 'C'}));
}

TEST_F(WindowsPathTest, LowerCaseDriveLetterNamesTheSameDriveAndStaysLowerCase) {
  EXPECT_EQ(Absolute("d:file.txt"), "d:\\data\\file.txt");
  EXPECT_EQ(Absolute("c:"), "c:\\work");
  EXPECT_EQ(asked_, (std::vector<char>{'D', 'C'}));
}

TEST_F(WindowsPathTest, DriveAtItsRootOrWithoutCurrentDirectory) {
  EXPECT_EQ(Absolute("E:x.txt"), "E:\\x.txt");
  EXPECT_EQ(Absolute("E:"), "E:\\");
  EXPECT_EQ(Absolute("F:x.txt"), "F:\\x.txt");
  EXPECT_EQ(Absolute("f:"), "f:\\");
}

TEST_F(WindowsPathTest, NotADriveLetterMakesARelativePath) {
  EXPECT_EQ(Absolute("1:x"), "C:\\work\\1:x");
  const PathParts parts = SplitWindowsPath(Absolute("1:x"));
  EXPECT_EQ(parts.directory, "C:\\work\\1:");
  EXPECT_EQ(parts.name, "x");
}

TEST_F(WindowsPathTest, SingleLeadingBackslashTakesTheCurrentDrive) {
  EXPECT_EQ(Absolute("\\x.txt"), "C:\\x.txt");
  EXPECT_EQ(Absolute("\\"), "C:\\");
  EXPECT_EQ(Absolute("\\..\\x"), "C:\\x");
  EXPECT_EQ(Absolute("/a/b"), "C:\\a\\b");
  EXPECT_EQ(asked_, std::vector<char>(4, 0));
}

TEST_F(WindowsPathTest, NetworkNamesStayAsGiven) {
  EXPECT_EQ(Absolute("\\\\server\\share\\dir\\p.txt"), "\\\\server\\share\\dir\\p.txt");
  EXPECT_EQ(Absolute("//server/share/p.txt"), "\\\\server\\share\\p.txt");
  EXPECT_EQ(Absolute("\\\\server\\share"), "\\\\server\\share");
  EXPECT_EQ(Absolute("\\\\server"), "\\\\server");
  EXPECT_TRUE(asked_.empty());
}

TEST_F(WindowsPathTest, NetworkNamesResolveDotsInsideTheShare) {
  EXPECT_EQ(Absolute("\\\\server\\share\\.\\p.txt"), "\\\\server\\share\\p.txt");
  EXPECT_EQ(Absolute("\\\\server\\share\\a\\..\\p.txt"), "\\\\server\\share\\p.txt");
  EXPECT_EQ(Absolute("\\\\server\\share\\a\\..\\..\\..\\p.txt"), "\\\\server\\share\\p.txt");
  EXPECT_EQ(Absolute("\\\\server\\share\\a\\.."), "\\\\server\\share");
  EXPECT_EQ(Absolute("\\\\server\\share\\.."), "\\\\server\\share");
}

TEST_F(WindowsPathTest, TrailingBackslashStaysOnlyWhenGivenOrAtTheRoot) {
  EXPECT_EQ(Absolute("sub\\"), "C:\\work\\sub\\");
  EXPECT_EQ(Absolute("sub/"), "C:\\work\\sub\\");
  EXPECT_EQ(Absolute("C:\\work\\"), "C:\\work\\");
  EXPECT_EQ(Absolute("sub\\..\\"), "C:\\work\\");
  EXPECT_EQ(Absolute("..\\"), "C:\\");
  EXPECT_EQ(Absolute("sub\\."), "C:\\work\\sub");
  EXPECT_EQ(Absolute("sub\\.."), "C:\\work");
  EXPECT_EQ(Absolute("C:\\work\\sub\\..\\.."), "C:\\");
  EXPECT_EQ(Absolute("\\\\server\\share\\"), "\\\\server\\share\\");
  EXPECT_EQ(Absolute("D:sub\\"), "D:\\data\\sub\\");
}

TEST_F(WindowsPathTest, TrailingBackslashGivesAnEmptyName) {
  const PathParts parts = SplitWindowsPath(Absolute("sub\\"));
  EXPECT_EQ(parts.directory, "C:\\work\\sub\\");
  EXPECT_EQ(parts.name, "");
  EXPECT_EQ(parts.extension, "");
}

TEST_F(WindowsPathTest, LongPathsAreNotCut) {
  const std::string name(300, 'n');
  EXPECT_EQ(Absolute(name + ".txt"), "C:\\work\\" + name + ".txt");
  EXPECT_EQ(Listing(name + ".txt"), "C:\\work\\" + name + ".lst");
}

TEST(WindowsPathOtherDirectoriesTest, CurrentDirectoryAtTheDriveRoot) {
  const DriveDirectory atRoot = [](char) { return std::string("C:\\"); };
  EXPECT_EQ(AbsoluteWindowsPath("x.txt", atRoot), "C:\\x.txt");
  EXPECT_EQ(AbsoluteWindowsPath("..\\x.txt", atRoot), "C:\\x.txt");
  EXPECT_EQ(AbsoluteWindowsPath("", atRoot), "C:\\");
}

TEST(WindowsPathOtherDirectoriesTest, CurrentDirectoryOnANetworkShare) {
  const DriveDirectory onShare = [](char) { return std::string("\\\\srv\\sh\\dir"); };
  EXPECT_EQ(AbsoluteWindowsPath("p.txt", onShare), "\\\\srv\\sh\\dir\\p.txt");
  EXPECT_EQ(AbsoluteWindowsPath("\\p.txt", onShare), "\\\\srv\\sh\\p.txt");
  EXPECT_EQ(AbsoluteWindowsPath("..\\..\\p.txt", onShare), "\\\\srv\\sh\\p.txt");
}

TEST(SplitWindowsPathTest, DirectoryNameAndExtension) {
  struct Case {
    const char* path;
    const char* directory;
    const char* name;
    const char* extension;
  };
  const Case cases[] = {
      {"C:\\work\\plan.old.txt", "C:\\work\\", "plan.old", ".txt"},
      {"C:\\work.d\\plans", "C:\\work.d\\", "plans", ""},
      {"C:\\work\\.txt", "C:\\work\\", "", ".txt"},
      {"C:\\work\\plans.", "C:\\work\\", "plans", "."},
      {"C:\\", "C:\\", "", ""},
      {"C:plans.txt", "C:", "plans", ".txt"},
      {"C:\\work\\a:b.c", "C:\\work\\a:", "b", ".c"},
      {"\\\\server\\share", "\\\\server\\", "share", ""},
      {"", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const PathParts parts = SplitWindowsPath(c.path);
    EXPECT_EQ(parts.directory, c.directory);
    EXPECT_EQ(parts.name, c.name);
    EXPECT_EQ(parts.extension, c.extension);
  }
}

std::string Posix(const std::string& path) {
  return AbsolutePosixPath(path, "/home/ana");
}

std::string PosixListing(const std::string& plan) {
  const PathParts parts = SplitPosixPath(Posix(plan));
  return parts.directory + parts.name + ".lst";
}

TEST(PosixPathTest, ListingPathsOfTheUsualArguments) {
  EXPECT_EQ(PosixListing("plans.txt"), "/home/ana/plans.lst");
  EXPECT_EQ(PosixListing("data/plan.old.txt"), "/home/ana/data/plan.old.lst");
  EXPECT_EQ(PosixListing("../p.txt"), "/home/p.lst");
  EXPECT_EQ(PosixListing("sub/p.txt"), "/home/ana/sub/p.lst");
  EXPECT_EQ(PosixListing(".txt"), "/home/ana/.lst");
  EXPECT_EQ(PosixListing("/home/ana/plans"), "/home/ana/plans.lst");
}

TEST(PosixPathTest, RelativePathsJoinTheCurrentDirectory) {
  EXPECT_EQ(Posix("plans.txt"), "/home/ana/plans.txt");
  EXPECT_EQ(Posix(""), "/home/ana");
  EXPECT_EQ(Posix("."), "/home/ana");
  EXPECT_EQ(Posix("./a/./b/../c"), "/home/ana/a/c");
  EXPECT_EQ(Posix("...//x"), "/home/ana/.../x");
  EXPECT_EQ(AbsolutePosixPath("x", "/"), "/x");
  EXPECT_EQ(AbsolutePosixPath("..", "/"), "/");
}

TEST(PosixPathTest, DotDotNeverClimbsAboveTheRoot) {
  EXPECT_EQ(Posix(".."), "/home");
  EXPECT_EQ(Posix("../../../../p.txt"), "/p.txt");
  EXPECT_EQ(Posix("/.."), "/");
  EXPECT_EQ(Posix("/../../etc"), "/etc");
  EXPECT_EQ(Posix("/"), "/");
}

TEST(PosixPathTest, RepeatedSlashesCollapse) {
  EXPECT_EQ(Posix("sub//p.txt"), "/home/ana/sub/p.txt");
  EXPECT_EQ(Posix("//etc///x"), "/etc/x");
  EXPECT_EQ(Posix("///"), "/");
}

TEST(PosixPathTest, BackslashAndColonAreOrdinaryBytes) {
  EXPECT_EQ(Posix("a\\b.txt"), "/home/ana/a\\b.txt");
  EXPECT_EQ(Posix("..\\p.txt"), "/home/ana/..\\p.txt");
  EXPECT_EQ(Posix("C:\\x"), "/home/ana/C:\\x");
  EXPECT_EQ(Posix("\\x"), "/home/ana/\\x");
}

TEST(PosixPathTest, TrailingSlashStaysOnlyWhenGivenOrAtTheRoot) {
  EXPECT_EQ(Posix("sub/"), "/home/ana/sub/");
  EXPECT_EQ(Posix("/home/ana/"), "/home/ana/");
  EXPECT_EQ(Posix("sub/.."), "/home/ana");
  EXPECT_EQ(Posix("sub/../"), "/home/ana/");
  EXPECT_EQ(Posix("sub/."), "/home/ana/sub");
  EXPECT_EQ(Posix("/home/.."), "/");
}

TEST(PosixPathTest, LongPathsAreNotCut) {
  const std::string name(300, 'n');
  EXPECT_EQ(Posix(name), "/home/ana/" + name);
}

TEST(SplitPosixPathTest, DirectoryNameAndExtension) {
  struct Case {
    const char* path;
    const char* directory;
    const char* name;
    const char* extension;
  };
  const Case cases[] = {
      {"/home/ana/plan.old.txt", "/home/ana/", "plan.old", ".txt"},
      {"/home/ana.d/plans", "/home/ana.d/", "plans", ""},
      {"/home/ana/.txt", "/home/ana/", "", ".txt"},
      {"/home/a\\b.txt", "/home/", "a\\b", ".txt"},
      {"/home/a.d\\b", "/home/", "a", ".d\\b"},
      {"/home/a:b.txt", "/home/", "a:b", ".txt"},
      {"/", "/", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const PathParts parts = SplitPosixPath(c.path);
    EXPECT_EQ(parts.directory, c.directory);
    EXPECT_EQ(parts.name, c.name);
    EXPECT_EQ(parts.extension, c.extension);
  }
}

TEST(SplitCommandLineTest, ProgramNameIsNotAnArgument) {
  EXPECT_EQ(SplitCommandLine(""), Words{});
  EXPECT_EQ(SplitCommandLine("   \t "), Words{});
  EXPECT_EQ(SplitCommandLine("tosim.exe"), Words{});
  EXPECT_EQ(SplitCommandLine("  tosim.exe  "), Words{});
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\tosim.exe\""), Words{});
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\tosim.exe\" plans.txt"), Words{"plans.txt"});
}

TEST(SplitCommandLineTest, SeparatorsAreRunsOfControlBytesAndSpaces) {
  EXPECT_EQ(SplitCommandLine("tosim plans.txt out.lst"), (Words{"plans.txt", "out.lst"}));
  EXPECT_EQ(SplitCommandLine("  tosim   a\t\tb  \t"), (Words{"a", "b"}));
  EXPECT_EQ(SplitCommandLine("tosim\x01"
                             "a\x1f"
                             "b\r\nc\x20"),
            (Words{"a", "b", "c"}));
  // 33 and up, DEL and bytes above 127 are ordinary bytes.
  EXPECT_EQ(SplitCommandLine("tosim !a\x7f"), Words{"!a\x7f"});
  EXPECT_EQ(SplitCommandLine("tosim \xf3n \xfa\xa0x"), (Words{"\xf3n", "\xfa\xa0x"}));
  EXPECT_EQ(SplitCommandLine("tosim\xff"), Words{});
}

TEST(SplitCommandLineTest, QuotesKeepSeparatorsAndAreDropped) {
  EXPECT_EQ(SplitCommandLine("tosim \"my plans.txt\""), Words{"my plans.txt"});
  EXPECT_EQ(SplitCommandLine("tosim \"my plans.txt\" x"), (Words{"my plans.txt", "x"}));
  EXPECT_EQ(SplitCommandLine("tosim my\" \"plans.txt"), Words{"my plans.txt"});
  EXPECT_EQ(SplitCommandLine("tosim \"a\tb\x01"
                             "c\""),
            Words{"a\tb\x01"
                  "c"});
  EXPECT_EQ(SplitCommandLine("tosim \" \""), Words{" "});
  EXPECT_EQ(SplitCommandLine("tosim \"a\"b\" c\""), Words{"ab c"});
  // An unclosed quote runs to the end of the line.
  EXPECT_EQ(SplitCommandLine("tosim \"a b"), Words{"a b"});
}

TEST(SplitCommandLineTest, AdjacentQuotesGiveNothing) {
  EXPECT_EQ(SplitCommandLine("tosim a\"\"b"), Words{"ab"});
  EXPECT_EQ(SplitCommandLine("tosim \"a\"\" b\""), Words{"a b"});
  EXPECT_EQ(SplitCommandLine("tosim \"\"\"a b\""), Words{"a b"});
  EXPECT_EQ(SplitCommandLine("tosim a\"\" b"), (Words{"a", "b"}));
  // A word made of quotes alone is an empty argument.
  EXPECT_EQ(SplitCommandLine("tosim \"\""), Words{""});
  EXPECT_EQ(SplitCommandLine("tosim \"\" x"), (Words{"", "x"}));
  EXPECT_EQ(SplitCommandLine("tosim \"\"\"\" x"), (Words{"", "x"}));
}

TEST(SplitCommandLineTest, BackslashIsNoEscape) {
  EXPECT_EQ(SplitCommandLine("tosim a\\\"b c\""), Words{"a\\b c"});
  EXPECT_EQ(SplitCommandLine("tosim \"C:\\dir\\\" x"), (Words{"C:\\dir\\", "x"}));
  EXPECT_EQ(SplitCommandLine("tosim a\\ b"), (Words{"a\\", "b"}));
}

TEST(SplitCommandLineTest, LongArgumentsAreNotCut) {
  const std::string name(300, 'n');
  EXPECT_EQ(SplitCommandLine("tosim " + name + " x"), (Words{name, "x"}));
}

}  // namespace
}  // namespace tosim
