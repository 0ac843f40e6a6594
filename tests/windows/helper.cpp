// The Windows program the wine test suite runs beside tosim.exe (a failure of its own: 200).
//   wait         Reads standard input to its end; kept running, it keeps wine's background
//                processes alive between runs.
//   hold FILE    Opens FILE without sharing, prints "held", keeps it until its input ends.
//   run [-no-stdin] [-no-stdout] EXE [X:DIR]...   Runs EXE with the exact command line in
//                TOSIM_TEST_COMMAND_LINE, without those standard handles, each X:DIR made drive
//                X's current directory; exits with EXE's status.
//   crash-seh, crash-c++   After the program's process set-up, an exception nobody handles:
//                the process must end at once with status 255 and a line on standard error.
#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "platform/platform.h"

namespace {

namespace platform = tosim::platform;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "helper: %s failed (error %lu)\n", what, ::GetLastError());
  ::ExitProcess(200);
}

void DrainStandardInput() {
  char buffer[256];
  DWORD got = 0;
  while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) &&
         got != 0) {
  }
}

int Run(int argc, char** argv) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  int next = 2;
  for (; next < argc && argv[next][0] == '-'; ++next) {
    (std::string(argv[next]) == "-no-stdin" ? startup.hStdInput : startup.hStdOutput) = nullptr;
  }
  for (int i = next + 1; i < argc; ++i) {
    const std::string directory = argv[i];
    if (!::SetEnvironmentVariableA(("=" + directory.substr(0, 2)).c_str(), argv[i])) {
      Fail("SetEnvironmentVariableA");
    }
  }
  char line[32768] = {};
  const DWORD length = ::GetEnvironmentVariableA("TOSIM_TEST_COMMAND_LINE", line, sizeof line);
  ::SetEnvironmentVariableA("TOSIM_TEST_COMMAND_LINE", nullptr);
  PROCESS_INFORMATION process{};
  if (next >= argc || length == 0 || length >= sizeof line ||
      !::CreateProcessA(argv[next], line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
    Fail("CreateProcessA");
  }
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 200;
  ::GetExitCodeProcess(process.hProcess, &status);
  return static_cast<int>(status);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc >= 2 ? argv[1] : "";
  if (mode == "crash-seh" || mode == "crash-c++") {
    platform::PrepareProcess();
    if (mode == "crash-seh") {
      ::RaiseException(0xE0000001u, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    }
    throw std::runtime_error("nobody catches this");
  }
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  if (mode == "hold" && argc == 3) {
    if (::CreateFileA(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                      nullptr) == INVALID_HANDLE_VALUE) {
      Fail("CreateFileA");
    }
    std::fputs("held\n", stdout);
    std::fflush(stdout);
  }
  if (mode == "wait" || (mode == "hold" && argc == 3)) {
    DrainStandardInput();
    return 0;
  }
  if (mode == "run" && argc >= 3) {
    return Run(argc, argv);
  }
  std::fputs(
      "usage: helper.exe wait | hold FILE | run [-no-stdin] [-no-stdout] EXE [X:DIR]... | "
      "crash-seh | crash-c++\n",
      stderr);
  return 200;
}
