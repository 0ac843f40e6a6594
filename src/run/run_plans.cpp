#include "run/run_plans.h"

#include <algorithm>
#include <string>

#include "platform/platform.h"
#include "run/choose_files.h"
#include "run/standard_input.h"
#include "run/usage.h"
#include "trace/text_encoding.h"
#include "trace/trace.h"
#include "trace/trace_loop.h"

namespace tosim {

namespace {

int ReadFromFile(void* file, char* data, std::size_t capacity, std::size_t* got) {
  return platform::ReadFile(reinterpret_cast<platform::FileHandle>(file), data, capacity, got);
}

int WriteToFile(void* file, const char* data, std::size_t size) {
  return platform::WriteFile(reinterpret_cast<platform::FileHandle>(file), data, size);
}

void* AsContext(platform::FileHandle file) {
  return reinterpret_cast<void*>(file);
}

// Standard output on a terminal that shows text: every block goes out at once, in UTF-8.
int WriteToConsole(void* file, const char* data, std::size_t size) {
  constexpr std::size_t kChunk = 4 * kStreamBufferSize;  // a whole block of a stream at once
  char text[kChunk * kMostUtf8PerByte];
  while (size > 0) {
    const std::size_t part = std::min(size, kChunk);
    const char* end = Cp1252ToUtf8({data, part}, text);
    if (const int error = platform::WriteConsoleUtf8(reinterpret_cast<platform::FileHandle>(file),
                                                     {text, static_cast<std::size_t>(end - text)});
        error != 0) {
      return error;
    }
    data += part;
    size -= part;
  }
  return 0;
}

// The run's failure handler, as the program gave it to RunPlans().
FailureHandler onFailure = CannotFail;

void OpenOutput(OutStream& stream, platform::FileHandle file) {
  stream.Open(WriteToFile, AsContext(file), platform::IsCharacterDevice(file), onFailure);
}

// Standard output, for the console stream or for the listing stream without a listing file. A
// file or a pipe receives the bytes as they are.
void OpenStandardOutput(OutStream& stream) {
  const platform::FileHandle file = platform::StandardOutput();
  if (platform::ConsoleTakesText(file)) {
    stream.Open(WriteToConsole, AsContext(file), true, onFailure);
  } else {
    OpenOutput(stream, file);
  }
}

void Check(int error) {
  if (error != 0) {
    Fail(onFailure, error);
  }
}

InStream standardInput;
bool standardInputOpen = false;

}  // namespace

InStream& StandardInputStream() {
  if (!standardInputOpen) {
    standardInput.Open(ReadFromFile, AsContext(platform::StandardInput()));
    standardInputOpen = true;
  }
  return standardInput;
}

bool ReadInputLine(std::string& line) {
  InStream& input = StandardInputStream();
  line.clear();
  if (input.AtEnd()) {
    Check(input.Error());
    return false;
  }
  for (int byte = input.Peek(); byte != InStream::kEnd && byte != '\n'; byte = input.Peek()) {
    input.Skip();
    line.push_back(static_cast<char>(byte));
  }
  Check(input.Error());
  if (input.Peek() == '\n') {
    input.Skip();
  }
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  return true;
}

int RunPlans(int argc, char** argv, FailureHandler onIoFailure) {
  onFailure = onIoFailure;
  // The streams are asked for at each use: asking takes them out of the trace's pair.
  OpenStandardOutput(ConsoleStream());

  const std::vector<std::string> arguments = platform::CommandLineArguments(argc, argv);
  if (AnswerInformationRequest(arguments)) {
    ConsoleStream().Flush();
    return 0;
  }
  std::string planPath;
  std::string listingPath;
  ChooseFiles(arguments, planPath, listingPath);

  if (!planPath.empty()) {
    platform::FileHandle planFile = platform::kNoFile;
    Check(platform::OpenForReading(planPath, &planFile));
    platform::FileHandle listingFile = platform::kNoFile;
    if (listingPath.empty()) {
      OpenStandardOutput(ListingStream());
    } else {
      Check(platform::CreateForWriting(listingPath, &listingFile));
      OpenOutput(ListingStream(), listingFile);
    }

    InStream plan;
    plan.Open(ReadFromFile, AsContext(planFile));
    ReplayPlans(plan, PlanTimestamps::RunOn, onFailure);

    Check(platform::CloseFile(planFile));
    ListingStream().Flush();
    if (!listingPath.empty()) {
      Check(platform::CloseFile(listingFile));
    }
  }

  OutStream& console = ConsoleStream();
  console.Write("\r\nPulsar <CR> para terminar");
  console.Flush();
  std::string enter;
  (void)ReadInputLine(enter);
  console.Flush();
  return 0;
}

}  // namespace tosim
