#include "report_cli/options.h"

namespace tosim::report {

namespace {

bool IsOption(const std::string& argument) {
  return argument.size() > 1 && argument[0] == '-';
}

// The first problem found is the one reported.
void Complain(Options& options, const std::string& problem) {
  if (options.problem.empty()) {
    options.problem = problem;
  }
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& arguments) {
  Options options;
  bool json = false;
  bool html = false;
  bool moodle = false;
  std::vector<std::string> paths;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || !IsOption(argument)) {
      paths.push_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "-h" || argument == "--help") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument == "--json") {
      json = true;
    } else if (argument == "--protocols") {
      options.protocols = true;
    } else if (argument == "--each-plan-alone") {
      options.eachPlanAlone = true;
    } else if (argument == "--exercises") {
      options.exercises = true;
    } else if (argument == "--html") {
      html = true;
      if (i + 1 < arguments.size() && !IsOption(arguments[i + 1])) {
        options.htmlPath = arguments[++i];
      } else {
        Complain(options, "falta el fichero del informe tras --html");
      }
    } else if (argument == "--moodle") {
      moodle = true;
      if (i + 1 < arguments.size() && !IsOption(arguments[i + 1])) {
        options.moodlePath = arguments[++i];
      } else {
        Complain(options, "falta el fichero del cuestionario tras --moodle");
      }
    } else {
      Complain(options, "opción desconocida \"" + argument + "\"");
    }
  }
  if (json && html) {
    Complain(options, "--json y --html no van juntas");
  }
  if (options.exercises && !html) {
    Complain(options, "--exercises va con --html");
  }
  if (moodle && (json || html || options.protocols)) {
    Complain(options, "--moodle no va con --json, --html ni --protocols");
  }
  options.format = moodle ? Format::Moodle
                   : html ? Format::Html
                   : json ? Format::Json
                          : Format::Text;
  if (paths.empty()) {
    Complain(options, "falta el fichero de planes");
  } else if (paths.size() > 1) {
    Complain(options, "sobran argumentos");
  } else {
    options.planPath = paths[0];
  }
  return options;
}

}  // namespace tosim::report
