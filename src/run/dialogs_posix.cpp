// The file dialogs on POSIX systems: prompts on standard error, answered by lines of standard
// input.
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "run/dialogs.h"
#include "run/standard_input.h"
#include "trace/text_encoding.h"

namespace tosim {

namespace {

// The program's own words for standard error, as the terminal there takes them; a path that the
// user typed is added as it stands.
std::string Words(std::string_view text) {
  return platform::ConsoleTakesText(platform::StandardError()) ? Cp1252ToUtf8(text)
                                                               : std::string(text);
}

// Asks on standard error and reads the answer from standard input; false at its end.
bool Ask(const std::string& question, std::string& answer) {
  platform::WriteToStandardError(question);
  return ReadInputLine(answer);
}

bool HasExtension(const std::string& path) {
  return !platform::SplitPath(path).extension.empty();
}

}  // namespace

// The end of standard input cancels; a failed read of it ends the run (ReadInputLine()), so
// these prompts never fail.
Choice OpenFileDialog(std::string& path) {
  std::string answer;
  for (;;) {
    path.clear();
    if (!Ask(Words("Fichero de planes (Intro para cancelar): "), answer) || answer.empty()) {
      return Choice::Cancelled;
    }
    // A name without extension is also looked for with the default one, ".txt".
    if (!platform::IsExistingFile(answer) && !HasExtension(answer) &&
        platform::IsExistingFile(answer + ".txt")) {
      answer += ".txt";
    }
    if (platform::IsExistingFile(answer)) {
      path = platform::AbsolutePath(answer);
      return Choice::Chosen;
    }
    platform::WriteToStandardError(Words("No existe el fichero \"") + answer + Words("\".\r\n"));
  }
}

Choice SaveFileDialog(std::string& path) {
  const std::string suggested = path;
  std::string answer;
  for (;;) {
    path.clear();
    if (!Ask(Words("Fichero de listado [") + suggested + Words("]: "), answer)) {
      return Choice::Cancelled;
    }
    std::string chosen = answer.empty() ? suggested : answer;
    if (!answer.empty() && !HasExtension(chosen)) {
      chosen += ".txt";
    }
    chosen = platform::AbsolutePath(chosen);
    if (platform::IsDirectory(chosen)) {
      platform::WriteToStandardError(Words("\"") + chosen + Words("\" es una carpeta.\r\n"));
      continue;
    }
    if (platform::IsExistingFile(chosen)) {
      if (!Ask(Words("El fichero \"") + chosen +
                   Words("\" ya existe. \xBF"
                         "Desea reemplazarlo? (s/n): "),
               answer)) {
        return Choice::Cancelled;
      }
      if (answer.empty() || (answer[0] != 's' && answer[0] != 'S')) {
        continue;
      }
    }
    path = chosen;
    return Choice::Chosen;
  }
}

}  // namespace tosim
