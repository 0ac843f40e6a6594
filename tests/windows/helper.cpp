// A small Windows program that the wine test suite runs beside tosim.exe.
//
//   helper.exe wait                Reads standard input to its end. Kept running during the
//                                  suite, it keeps wine's own background processes alive
//                                  between the runs.
//   helper.exe hold FILE           Opens FILE for reading without sharing, writes "held" and a
//                                  line end to standard output, and keeps the file open until
//                                  its standard input ends.
//   helper.exe run [-no-stdin] [-no-stdout] EXE [X:DIR]...
//                                  Runs EXE with the exact command line found in the
//                                  environment variable TOSIM_TEST_COMMAND_LINE, with the
//                                  standard handles of this process, or with no standard input
//                                  or output handle at all (the Windows form of a closed one);
//                                  every X:DIR first becomes drive X's current directory (the
//                                  "=X:" variable). Exits with the status of EXE.
//
// Any failure of the helper itself exits with status 200 and a line on standard error.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kHelperFailure = 200;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "helper: %s failed (error %lu)\n", what,
               static_cast<unsigned long>(::GetLastError()));
  std::fflush(stderr);
  ::ExitProcess(kHelperFailure);
}

void DrainStandardInput() {
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  char buffer[256];
  DWORD got = 0;
  while (::ReadFile(input, buffer, sizeof buffer, &got, nullptr) != FALSE && got != 0) {
  }
}

int Hold(const char* path) {
  const HANDLE file =
      ::CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Fail("CreateFileA");
  }
  std::fputs("held\n", stdout);
  std::fflush(stdout);
  DrainStandardInput();
  ::CloseHandle(file);
  return 0;
}

int Run(int argc, char** argv) {
  bool withInput = true;
  bool withOutput = true;
  int next = 2;
  for (; next < argc && argv[next][0] == '-'; ++next) {
    if (std::strcmp(argv[next], "-no-stdin") == 0) {
      withInput = false;
    } else if (std::strcmp(argv[next], "-no-stdout") == 0) {
      withOutput = false;
    } else {
      std::fprintf(stderr, "helper: unknown option %s\n", argv[next]);
      return kHelperFailure;
    }
  }
  if (next == argc) {
    std::fputs("helper: run needs a program\n", stderr);
    return kHelperFailure;
  }
  const char* exe = argv[next];
  for (int i = next + 1; i < argc; ++i) {
    const std::string directory = argv[i];
    if (directory.size() < 2 || directory[1] != ':') {
      std::fprintf(stderr, "helper: not a drive directory: %s\n", directory.c_str());
      return kHelperFailure;
    }
    const std::string name = std::string("=") + directory.substr(0, 2);
    if (::SetEnvironmentVariableA(name.c_str(), directory.c_str()) == FALSE) {
      Fail("SetEnvironmentVariableA");
    }
  }

  char line[32768] = {};
  const DWORD length = ::GetEnvironmentVariableA("TOSIM_TEST_COMMAND_LINE", line, sizeof line);
  if (length == 0 || length >= sizeof line) {
    Fail("GetEnvironmentVariableA(TOSIM_TEST_COMMAND_LINE)");
  }
  ::SetEnvironmentVariableA("TOSIM_TEST_COMMAND_LINE", nullptr);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = withInput ? ::GetStdHandle(STD_INPUT_HANDLE) : nullptr;
  startup.hStdOutput = withOutput ? ::GetStdHandle(STD_OUTPUT_HANDLE) : nullptr;
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (::CreateProcessA(exe, line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process) == FALSE) {
    Fail("CreateProcessA");
  }
  ::CloseHandle(process.hThread);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = kHelperFailure;
  if (::GetExitCodeProcess(process.hProcess, &status) == FALSE) {
    Fail("GetExitCodeProcess");
  }
  ::CloseHandle(process.hProcess);
  return static_cast<int>(status);
}

}  // namespace

int main(int argc, char** argv) {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  if (argc == 2 && std::strcmp(argv[1], "wait") == 0) {
    DrainStandardInput();
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "hold") == 0) {
    return Hold(argv[2]);
  }
  if (argc >= 3 && std::strcmp(argv[1], "run") == 0) {
    return Run(argc, argv);
  }
  std::fputs("usage: helper.exe wait | hold FILE | run [-no-stdin] [-no-stdout] EXE [X:DIR]...\n",
             stderr);
  return kHelperFailure;
}
