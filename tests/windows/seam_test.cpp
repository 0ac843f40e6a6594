// The Windows platform layer on real files, pipes and devices, run under wine (or on Windows).
//
//   seam_test.exe DIR          Runs the checks in the empty folder DIR (a Windows path).
//   seam_test.exe short-write FILE
//                              Writes 3000 bytes to the new file FILE at once; run under a file
//                              size limit of 1024 bytes (ulimit -f 1, SIGXFSZ ignored), the
//                              system writes only part of them and reports success.
//   seam_test.exe crash-seh    Raises an exception that nobody handles.
//   seam_test.exe crash-c++    Throws a C++ exception that nobody catches.
//
// The checks print one line per failed or skipped check and then "N passed, N failed,
// N skipped"; the status is 0 when none failed. The two crash modes must end at once with status
// 255 and one line on standard error, never with a debugger's report or a dialog.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "platform.h"

namespace {

using tosim::platform::FileHandle;
using tosim::platform::kNoFile;

int passed = 0;
int failures = 0;
int skipped = 0;

void Check(bool ok, const char* what, int line) {
  if (ok) {
    ++passed;
  } else {
    ++failures;
    std::printf("FAIL line %d: %s\n", line, what);
  }
}

void Skip(const char* what, const char* reason) {
  ++skipped;
  std::printf("SKIP %s\n  %s\n", what, reason);
}

#define CHECK(expression) Check((expression), #expression, __LINE__)
#define CHECK_EQ(actual, expected) Check((actual) == (expected), #actual " == " #expected, __LINE__)

std::string folder;

std::string In(const char* name) {
  return folder + "\\" + name;
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
}

std::string ReadWholeFile(const std::string& path) {
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return "<missing>";
  }
  std::string bytes;
  char buffer[256];
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) != FALSE && got != 0) {
    bytes.append(buffer, got);
  }
  ::CloseHandle(file);
  return bytes;
}

std::string ReadAll(FileHandle file) {
  std::string bytes;
  char buffer[7];  // small, so that several reads are needed
  std::size_t got = 0;
  while (tosim::platform::ReadFile(file, buffer, sizeof buffer, &got) == 0 && got != 0) {
    bytes.append(buffer, got);
  }
  return bytes;
}

// One read of one byte: the call's result, and in `got` the count it reported.
int ReadOneByte(FileHandle file, std::size_t& got) {
  got = 99;
  char byte = 0;
  return tosim::platform::ReadFile(file, &byte, 1, &got);
}

void OpeningForReading() {
  FileHandle file = kNoFile;
  CHECK_EQ(tosim::platform::OpenForReading(In("missing.txt"), &file), 2);
  CHECK_EQ(tosim::platform::OpenForReading(In("no-such-folder\\plan.txt"), &file), 3);
  ::CreateDirectoryA(In("folder").c_str(), nullptr);
  CHECK_EQ(tosim::platform::OpenForReading(In("folder"), &file), 5);
  CHECK_EQ(file, kNoFile);

  WriteWholeFile(In("plan.txt"), "P1; T1\r\nP2\r\n");
  CHECK_EQ(tosim::platform::OpenForReading(In("plan.txt"), &file), 0);
  // Held without sharing: neither a second reader nor a writer gets in, and nothing is cut.
  FileHandle second = kNoFile;
  CHECK_EQ(tosim::platform::OpenForReading(In("plan.txt"), &second), 5);
  CHECK_EQ(tosim::platform::CreateForWriting(In("plan.txt"), &second), 5);
  CHECK_EQ(second, kNoFile);
  CHECK_EQ(ReadAll(file), "P1; T1\r\nP2\r\n");
  std::size_t got = 0;
  CHECK_EQ(ReadOneByte(file, got), 0);
  CHECK_EQ(got, 0u);
  CHECK_EQ(tosim::platform::CloseFile(file), 0);
  CHECK_EQ(ReadWholeFile(In("plan.txt")), "P1; T1\r\nP2\r\n");
}

void CreatingForWriting() {
  FileHandle file = kNoFile;
  CHECK_EQ(tosim::platform::CreateForWriting(In("no-such-folder\\out.lst"), &file), 3);
  CHECK_EQ(tosim::platform::CreateForWriting(In("folder"), &file), 5);

  // An existing file is cut to length 0.
  WriteWholeFile(In("old.lst"), "a longer old content");
  CHECK_EQ(tosim::platform::CreateForWriting(In("old.lst"), &file), 0);
  CHECK_EQ(tosim::platform::WriteFile(file, "new", 3), 0);
  CHECK_EQ(tosim::platform::CloseFile(file), 0);
  CHECK_EQ(ReadWholeFile(In("old.lst")), "new");

  // A new file is created.
  CHECK_EQ(tosim::platform::CreateForWriting(In("new.lst"), &file), 0);
  CHECK(!tosim::platform::IsCharacterDevice(file));
  CHECK_EQ(tosim::platform::CloseFile(file), 0);
  CHECK_EQ(ReadWholeFile(In("new.lst")), "");

  // A file that another handle holds is neither opened nor cut.
  WriteWholeFile(In("held.lst"), "keep me");
  const HANDLE holder = ::CreateFileA(In("held.lst").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  CHECK(holder != INVALID_HANDLE_VALUE);
  CHECK_EQ(tosim::platform::CreateForWriting(In("held.lst"), &file), 5);
  ::CloseHandle(holder);
  CHECK_EQ(ReadWholeFile(In("held.lst")), "keep me");
}

void WritingFails() {
  // A full disk: wine's Z: drive reaches the Linux device that is always full.
  FileHandle full = kNoFile;
  if (tosim::platform::CreateForWriting("Z:\\dev\\full", &full) == 0) {
    CHECK_EQ(tosim::platform::WriteFile(full, "x", 1), 101);
    CHECK_EQ(tosim::platform::CloseFile(full), 0);
  } else {
    Check(false, "Z:\\dev\\full could not be opened", __LINE__);
  }

  // A pipe whose reader is gone.
  HANDLE reader = nullptr;
  HANDLE writer = nullptr;
  CHECK(::CreatePipe(&reader, &writer, nullptr, 0) != FALSE);
  ::CloseHandle(reader);
  CHECK_EQ(tosim::platform::WriteFile(reinterpret_cast<FileHandle>(writer), "x", 1), 101);
  ::CloseHandle(writer);

  // No handle at all.
  CHECK_EQ(tosim::platform::WriteFile(kNoFile, "x", 1), 101);
  CHECK_EQ(tosim::platform::WriteFile(kNoFile, "", 0), 0);
}

void ReadingAPipe() {
  // The end of a pipe comes as a failed read with a broken pipe once the writer is gone.
  HANDLE reader = nullptr;
  HANDLE writer = nullptr;
  CHECK(::CreatePipe(&reader, &writer, nullptr, 0) != FALSE);
  DWORD written = 0;
  ::WriteFile(writer, "line one\nline two\n", 18, &written, nullptr);
  ::CloseHandle(writer);
  const auto file = reinterpret_cast<FileHandle>(reader);
  CHECK(!tosim::platform::IsCharacterDevice(file));
  CHECK_EQ(ReadAll(file), "line one\nline two\n");
  std::size_t got = 0;
  CHECK_EQ(ReadOneByte(file, got), 0);
  CHECK_EQ(got, 0u);
  CHECK_EQ(tosim::platform::CloseFile(file), 0);
  CHECK_EQ(tosim::platform::CloseFile(file), 6);
}

void StandardHandles() {
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  // A process started without standard input.
  ::SetStdHandle(STD_INPUT_HANDLE, nullptr);
  CHECK_EQ(tosim::platform::StandardInput(), kNoFile);
  std::size_t got = 0;
  CHECK_EQ(ReadOneByte(kNoFile, got), 6);
  CHECK_EQ(got, 0u);
  ::SetStdHandle(STD_INPUT_HANDLE, INVALID_HANDLE_VALUE);
  CHECK_EQ(tosim::platform::StandardInput(), kNoFile);
  ::SetStdHandle(STD_INPUT_HANDLE, input);

  // The NUL device is a character device; a disk file is not.
  const HANDLE nul = ::CreateFileA("NUL", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  CHECK(tosim::platform::IsCharacterDevice(reinterpret_cast<FileHandle>(nul)));
  ::CloseHandle(nul);
  CHECK(!tosim::platform::IsCharacterDevice(kNoFile));
}

void ExistenceTest() {
  WriteWholeFile(In("plain.txt"), "x");
  CHECK(tosim::platform::IsExistingFile(In("plain.txt")));
  // The archive attribute does not matter.
  CHECK(::SetFileAttributesA(In("plain.txt").c_str(), FILE_ATTRIBUTE_NORMAL) != FALSE);
  if ((::GetFileAttributesA(In("plain.txt").c_str()) & FILE_ATTRIBUTE_ARCHIVE) != 0) {
    Skip("an existing file without the archive attribute",
         "the attribute cannot be cleared here (wine reports it for every file)");
  } else {
    CHECK(tosim::platform::IsExistingFile(In("plain.txt")));
  }
  CHECK(::SetFileAttributesA(In("plain.txt").c_str(), FILE_ATTRIBUTE_ARCHIVE) != FALSE);
  CHECK(tosim::platform::IsExistingFile(In("plain.txt")));
  CHECK(!tosim::platform::IsExistingFile(In("folder")));
  CHECK(!tosim::platform::IsExistingFile(In("missing.txt")));
  CHECK(!tosim::platform::IsExistingFile(""));
  // Relative to the current directory.
  CHECK(::SetCurrentDirectoryA(folder.c_str()) != FALSE);
  CHECK(tosim::platform::IsExistingFile("plain.txt"));
  CHECK(tosim::platform::IsExistingFile(".\\folder\\..\\plain.txt"));
}

std::string Listing(const std::string& plan) {
  const tosim::PathParts parts = tosim::platform::SplitPath(plan);
  return parts.directory + parts.name + ".lst";
}

void CurrentDirectories() {
  CHECK(::SetCurrentDirectoryA("Z:\\tmp") != FALSE);
  CHECK_EQ(Listing("plan.txt"), "Z:\\tmp\\plan.lst");
  CHECK_EQ(Listing("a\\b.c.txt"), "Z:\\tmp\\a\\b.c.lst");
  CHECK_EQ(Listing("..\\p.txt"), "Z:\\p.lst");
  CHECK_EQ(Listing("\\x\\p.txt"), "Z:\\x\\p.lst");
  // The current drive's own letter, in either case, means the current directory.
  CHECK_EQ(Listing("Z:p.txt"), "Z:\\tmp\\p.lst");
  CHECK_EQ(Listing("z:sub/p"), "z:\\tmp\\sub\\p.lst");
  // Another drive: its "=X:" variable, or its root without one.
  ::SetEnvironmentVariableA("=Y:", nullptr);
  CHECK_EQ(Listing("Y:p.txt"), "Y:\\p.lst");
  CHECK(::SetEnvironmentVariableA("=Y:", "Y:\\plans\\old") != FALSE);
  CHECK_EQ(Listing("Y:p.txt"), "Y:\\plans\\old\\p.lst");
  CHECK_EQ(Listing("y:..\\p.txt"), "y:\\plans\\p.lst");
  CHECK_EQ(Listing("Y:\\p.txt"), "Y:\\p.lst");
  // A variable that names another drive counts as none.
  CHECK(::SetEnvironmentVariableA("=Y:", "X:\\elsewhere") != FALSE);
  CHECK_EQ(Listing("Y:p.txt"), "Y:\\p.lst");
  ::SetEnvironmentVariableA("=Y:", nullptr);
  CHECK(::SetCurrentDirectoryA(folder.c_str()) != FALSE);
}

void CodeLocations() {
  // The program is not moved under wine, and the location stays inside the program's image.
  const auto* image = reinterpret_cast<const unsigned char*>(::GetModuleHandleA(nullptr));
  const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
      image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew);
  const std::uint32_t base = headers->OptionalHeader.ImageBase;
  const std::uint32_t size = headers->OptionalHeader.SizeOfImage;
  const void* here = image + headers->OptionalHeader.AddressOfEntryPoint;
  const std::uint32_t where = tosim::platform::CodeLocation(here);
  CHECK(where > base && where < base + size);
  CHECK_EQ(where, base + headers->OptionalHeader.AddressOfEntryPoint);
}

}  // namespace

// A write that the system carries out only in part is a failed write.
int ShortWrite(const char* path) {
  FileHandle file = kNoFile;
  CHECK_EQ(tosim::platform::CreateForWriting(path, &file), 0);
  static const char kData[3000] = {};
  const int result = tosim::platform::WriteFile(file, kData, sizeof kData);
  CHECK_EQ(tosim::platform::CloseFile(file), 0);
  const std::size_t written = ReadWholeFile(path).size();
  if (written == sizeof kData) {
    Skip("a short write", "the whole block was written: no file size limit in force");
  } else {
    CHECK(written > 0);  // part of the block, not nothing
    CHECK_EQ(result, 101);
  }
  std::printf("%d passed, %d failed, %d skipped\n", passed, failures, skipped);
  return failures == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "short-write") == 0) {
    return ShortWrite(argv[2]);
  }
  if (argc == 2 && std::strcmp(argv[1], "crash-seh") == 0) {
    tosim::platform::PrepareProcess();
    ::RaiseException(0xE0000001u, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "crash-c++") == 0) {
    tosim::platform::PrepareProcess();
    throw std::runtime_error("nobody catches this");
  }
  if (argc != 2) {
    std::fputs("usage: seam_test.exe DIR | short-write FILE | crash-seh | crash-c++\n", stderr);
    return 2;
  }
  folder = argv[1];
  tosim::platform::PrepareProcess();
  OpeningForReading();
  CreatingForWriting();
  WritingFails();
  ReadingAPipe();
  StandardHandles();
  ExistenceTest();
  CurrentDirectories();
  CodeLocations();
  std::printf("%d passed, %d failed, %d skipped\n", passed, failures, skipped);
  return failures == 0 ? 0 : 1;
}
