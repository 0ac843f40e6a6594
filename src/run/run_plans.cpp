#include <algorithm>
#include <string>

#include "plan/plan_reader.h"
#include "platform.h"
#include "run.h"
#include "scheduler/scheduler.h"
#include "tosim/text_encoding.h"
#include "tosim/trace.h"

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

void OpenOutput(OutStream& stream, platform::FileHandle file) {
  stream.Open(WriteToFile, AsContext(file), platform::IsCharacterDevice(file));
}

// Standard output, for the console stream or for the listing stream without a listing file. A
// file or a pipe receives the bytes as they are.
void OpenStandardOutput(OutStream& stream) {
  const platform::FileHandle file = platform::StandardOutput();
  if (platform::ConsoleTakesText(file)) {
    stream.Open(WriteToConsole, AsContext(file), true);
  } else {
    OpenOutput(stream, file);
  }
}

void Check(int error) {
  if (error != 0) {
    FailRun(error);
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
    return false;
  }
  for (int byte = input.Peek(); byte != InStream::kEnd && byte != '\n'; byte = input.Peek()) {
    input.Skip();
    line.push_back(static_cast<char>(byte));
  }
  if (input.Peek() == '\n') {
    input.Skip();
  }
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  return true;
}

void ExecuteOperation(SchedulerTables& tables, const Operation& operation) {
  EchoText(OperationLabel(operation).View());
  EchoText("\t");
  EchoDecision(tables, operation, Decide(tables, operation));
}

void ReplayPlans(InStream& plan) {
  Operation operation;     // one record for the whole run
  SchedulerTables tables;  // the timestamp counter starts at 0
  while (!plan.AtEnd()) {
    ReadOperation(plan, operation);
    if (operation.kind == OpKind::Plan) {
      while (operation.kind != OpKind::EndOfPlan) {
        ExecuteOperation(tables, operation);
        ReadOperation(plan, operation);
      }
      EchoLine("fin Plan");
    } else {
      EchoText("ERR: se esperaba accion de inicio de un plan");
    }
    plan.SkipLine();
    EchoLine("");
    EchoLine("");
  }
}

int RunPlans(int argc, char** argv) {
  OutStream& console = ConsoleStream();
  OpenStandardOutput(console);

  const std::vector<std::string> arguments = platform::CommandLineArguments(argc, argv);
  if (AnswerInformationRequest(arguments)) {
    console.Flush();
    return 0;
  }
  std::string planPath;
  std::string listingPath;
  ChooseFiles(arguments, planPath, listingPath);

  if (!planPath.empty()) {
    platform::FileHandle planFile = platform::kNoFile;
    Check(platform::OpenForReading(planPath, &planFile));
    platform::FileHandle listingFile = platform::kNoFile;
    OutStream& listing = ListingStream();
    if (listingPath.empty()) {
      OpenStandardOutput(listing);
    } else {
      Check(platform::CreateForWriting(listingPath, &listingFile));
      OpenOutput(listing, listingFile);
    }

    InStream plan;
    plan.Open(ReadFromFile, AsContext(planFile));
    ReplayPlans(plan);

    Check(platform::CloseFile(planFile));
    listing.Flush();
    if (!listingPath.empty()) {
      Check(platform::CloseFile(listingFile));
    }
  }

  console.Write("\r\nPulsar <CR> para terminar");
  console.Flush();
  std::string enter;
  (void)ReadInputLine(enter);
  console.Flush();
  return 0;
}

}  // namespace tosim
