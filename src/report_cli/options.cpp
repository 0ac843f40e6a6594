#include "report_cli/options.h"

#include "protocols/protocols.h"

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
  int alone = -1;             // --each-plan-alone: 1, =no: 0, neither: -1
  std::string sheetProtocol;  // --exercises=NAME
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
    } else if (argument == "--each-plan-alone" || argument == "--each-plan-alone=yes") {
      alone = 1;
    } else if (argument == "--each-plan-alone=no") {
      alone = 0;
    } else if (argument == "--exercises") {
      options.exercises = true;
    } else if (argument.starts_with("--exercises=")) {
      options.exercises = true;
      sheetProtocol = argument.substr(argument.find('=') + 1);
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
    } else if (argument == "--check") {
      if (i + 1 < arguments.size() && !IsOption(arguments[i + 1])) {
        options.checkPath = arguments[++i];
      } else {
        Complain(options, "falta el fichero de respuestas tras --check");
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
  if (moodle && !options.checkPath.empty()) {
    Complain(options, "--check y --moodle no van juntas");
  }
  if (!options.checkPath.empty() && html) {
    Complain(options, "--check y --html no van juntas");
  }
  if (!options.checkPath.empty() && options.protocols) {
    Complain(options, "--check no lleva --protocols: las respuestas dicen qué protocolos corregir");
  }
  std::string names;  // the lab's protocols, for a name that is none of them
  for (int p = 0; p < protocols::kProtocolCount; ++p) {
    const char* name = protocols::ProtocolName(static_cast<protocols::Protocol>(p));
    names += p == 0 ? "" : ", ";
    names += name;
    if (sheetProtocol == name || sheetProtocol == "all" ||
        (options.exercises && sheetProtocol.empty() && options.protocols)) {
      options.sheetProtocols.emplace_back(name);
    }
  }
  if (!sheetProtocol.empty() && options.sheetProtocols.empty()) {
    Complain(options, "--exercises=" + sheetProtocol + ": no es un protocolo del laboratorio (" +
                          names + ") ni all");
  }
  options.protocols = options.protocols || !options.sheetProtocols.empty();
  options.eachPlanAlone = alone < 0 ? options.exercises : alone == 1;
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
