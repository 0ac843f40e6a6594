#include "report_run.h"

#include <string>
#include <string_view>
#include <vector>

#include "analysis/plan_analysis.h"
#include "plan/plan_reader.h"
#include "plan_reports.h"
#include "protocols/protocols.h"
#include "protocols_format.h"
#include "report_format.h"
#include "report_page.h"
#include "run/platform.h"
#include "run/run.h"
#include "tosim/streams.h"
#include "tosim/trace.h"

namespace tosim::report {

namespace {

constexpr std::string_view kHelp =
    "Uso: tosim-report [--json | --html INFORME.html] [--protocols] FICHERO_DE_PLANES\n"
    "\n"
    "Lee el fichero de planes de tosim (un plan por línea) y escribe en la salida estándar,\n"
    "para cada plan, lo que la ordenación por marcas de tiempo hizo con él y lo que dice la\n"
    "teoría de la serializabilidad sobre el plan tal como está escrito.\n"
    "\n"
    "  (sin opciones)  un resumen en español por plan: marcas de tiempo, resultado de cada\n"
    "                  transacción, planificación ejecutada y su orden serie, escrituras\n"
    "                  ignoradas por la regla de Thomas, retrocesos en cascada, resultado sin\n"
    "                  la regla de Thomas, aristas del grafo de precedencia, serializabilidad\n"
    "                  en conflictos y en vistas (con su orden o su ciclo), y si el plan es\n"
    "                  recuperable, sin abortos en cascada y estricto.\n"
    "  --json          una línea JSON por plan (JSON Lines), con las claves que describe el\n"
    "                  README de tosim.\n"
    "  --html INFORME.html\n"
    "                  escribe en INFORME.html una página que se abre sin red: la traza de\n"
    "                  tosim y, para cada plan, su planificación, su grafo de precedencia y\n"
    "                  lo anterior. Nunca escribe sobre el fichero de planes (error 5).\n"
    "  --protocols     añade, con --json, la clave \"protocols\" a cada objeto y, sin ella,\n"
    "                  una tabla por plan: lo que hace cada uno de ocho protocolos de control\n"
    "                  de concurrencia (to, to_basic, strict_to, mvto, 2pl, wait_die,\n"
    "                  wound_wait, occ) con cada operación, y por protocolo la historia, las\n"
    "                  transacciones validadas y abortadas (con la causa), los interbloqueos\n"
    "                  y el orden serie. Las reglas están en el README de tosim.\n"
    "  -h, --help      muestra esta ayuda.\n"
    "\n"
    "Estado de salida: 0 si todo va bien; 64 si la línea de órdenes es incorrecta; si el\n"
    "fichero no se puede leer o la salida no se puede escribir, el número de error de tosim:\n"
    "2 el fichero no existe, 3 la carpeta no existe, 5 acceso denegado (una carpeta, o un\n"
    "fichero que otro proceso tiene abierto), 101 error de escritura.\n"
    "tosim-report no escribe ningún fichero, salvo el informe de --html.\n";

constexpr std::string_view kProgram = "tosim-report: ";

// The output is written in blocks of at least this size, and at the end.
constexpr std::size_t kOutputBlock = 64 * 1024;

[[noreturn]] void Fail(const std::string& line, int errorNumber) {
  platform::WriteToStandardError(std::string(kProgram) + line + "\n");
  platform::ExitProcess(errorNumber);
}

// The cause of a failed open or read, by error number.
std::string Cause(int errorNumber) {
  std::string cause;
  switch (errorNumber) {
    case 2:
      cause = "el fichero no existe";
      break;
    case 3:
      cause = "la carpeta de la ruta no existe";
      break;
    case 4:
      cause = "demasiados ficheros abiertos";
      break;
    case 5:
      cause = "acceso denegado: es una carpeta, o lo tiene abierto otro proceso";
      break;
    case 6:
      cause = "identificador no válido";
      break;
    default:
      cause = errorNumber >= 150 && errorNumber <= 162 ? "error del dispositivo" : "error";
      break;
  }
  return cause + " (error " + std::to_string(errorNumber) + ")";
}

// The one place where the report's bytes reach the platform. A failed or short write ends the
// run with error 101.
void WriteOutput(std::string_view bytes) {
  // The text is UTF-8; a Windows console takes it as characters, whatever its code page.
  const platform::FileHandle out = platform::StandardOutput();
  const int error = platform::ConsoleTakesText(out)
                        ? platform::WriteConsoleUtf8(out, bytes)
                        : platform::WriteFile(out, bytes.data(), bytes.size());
  if (error != 0) {
    Fail("no se puede escribir la salida estándar: error de escritura (error " +
             std::to_string(error) + ")",
         error);
  }
}

// The plan file, read through the plan stream; a failed read ends the run with its cause.
struct PlanFile {
  platform::FileHandle handle = platform::kNoFile;
  const std::string* path = nullptr;
};

int ReadPlanFile(void* context, char* data, std::size_t capacity, std::size_t* got) {
  const auto& file = *static_cast<const PlanFile*>(context);
  if (const int error = platform::ReadFile(file.handle, data, capacity, got); error != 0) {
    Fail("no se puede leer \"" + *file.path + "\": " + Cause(error), error);
  }
  return 0;
}

// The trace is not shown: the reader's syntax messages go nowhere.
int Discard(void* /*context*/, const char* /*data*/, std::size_t /*size*/) {
  return 0;
}

[[noreturn]] void UsageError(const std::string& problem) {
  Fail(problem +
           "\nUso: tosim-report [--json | --html INFORME.html] [--protocols] FICHERO_DE_PLANES "
           "(más en "
           "tosim-report --help)",
       kUsageError);
}

int AppendTo(void* target, const char* data, std::size_t size) {
  static_cast<std::string*>(target)->append(data, size);
  return 0;
}

// The HTML report: the whole plan file is read, replayed into the trace as tosim shows it, and
// reported, and the page goes to `htmlPath`. The page is opened while the plan file is held, so
// that it can never be the plan file.
void WriteHtmlReport(const PlanFile& file, const std::string& htmlPath) {
  platform::FileHandle html = platform::kNoFile;
  if (const int error = platform::CreateForWriting(htmlPath, &html); error != 0) {
    Fail("no se puede escribir \"" + htmlPath + "\": " + Cause(error), error);
  }
  std::string plan;
  char block[kOutputBlock];
  for (std::size_t got = 1; got != 0;) {
    ReadPlanFile(const_cast<PlanFile*>(&file), block, sizeof block, &got);
    plan.append(block, got);
  }
  std::string trace;
  ConsoleStream().Open(AppendTo, &trace, false);
  ListingStream().Open(Discard, nullptr, false);
  MemorySource source{plan};
  InStream stream;
  stream.Open(ReadFromMemory, &source);
  ReplayPlans(stream);
  ConsoleStream().Flush();
  ConsoleStream().Open(Discard, nullptr, false);

  std::string json;
  source = MemorySource{plan};
  stream.Open(ReadFromMemory, &source);
  ForEachPlanReport(stream, [&](const analysis::PlanReport& report) { AppendJson(json, report); });
  const std::string page = ReportPage(trace, json);
  int error = platform::WriteFile(html, page.data(), page.size());
  if (error == 0) {
    error = platform::CloseFile(html);
  }
  if (error != 0) {
    Fail("no se puede escribir \"" + htmlPath + "\": error de escritura (error " +
             std::to_string(error) + ")",
         error);
  }
}

// Reads every plan of the file and appends each plan's report to `out`, writing `out` whenever it
// holds a block. With `withProtocols`, the protocol lab replays each plan too: its key ends the
// JSON object, its table ends the summary.
void ReportPlans(InStream& plan, bool json, bool withProtocols) {
  std::string out;
  out.reserve(2 * kOutputBlock);
  protocols::ProtocolLab lab;
  const auto start = [&] {
    if (withProtocols) {
      lab.Start();
    }
  };
  const auto add = [&](const Operation& operation) {
    if (withProtocols) {
      lab.Add(operation);
    }
  };
  ForEachPlanReport(plan, start, add, [&](const analysis::PlanReport& report) {
    if (json) {
      AppendJson(out, report);
      if (withProtocols) {
        out.resize(out.size() - 2);  // "}\n"
        out += ",\"protocols\":";
        AppendProtocolsJson(out, lab.Finish(report.timestamps));
        out += "}\n";
      }
    } else {
      AppendText(out, report);
      if (withProtocols) {
        out.pop_back();  // the empty line that ends the summary
        AppendProtocolsText(out, lab.Finish(report.timestamps));
        out += '\n';
      }
    }
    if (out.size() >= kOutputBlock) {
      WriteOutput(out);
      out.clear();
    }
  });
  WriteOutput(out);
}

}  // namespace

int RunReport(int argc, char** argv) {
  bool json = false;
  bool withProtocols = false;
  bool help = false;
  std::string htmlPath;
  bool html = false;
  std::vector<std::string> paths;
  bool options = true;
  for (const std::string& argument : platform::CommandLineArguments(argc, argv)) {
    if (options && argument == "--") {
      options = false;
    } else if (options && argument == "--json") {
      json = true;
    } else if (options && argument == "--protocols") {
      withProtocols = true;
    } else if (options && argument == "--html") {
      html = true;
    } else if (html && htmlPath.empty()) {
      htmlPath = argument;
    } else if (options && (argument == "-h" || argument == "--help")) {
      help = true;
    } else if (options && argument.size() > 1 && argument[0] == '-') {
      UsageError("opción desconocida \"" + argument + "\"");
    } else {
      paths.push_back(argument);
    }
  }
  if (help) {
    WriteOutput(kHelp);
    return 0;
  }
  if (html && (json || htmlPath.empty())) {
    UsageError(json ? "--json y --html no van juntas" : "falta el fichero del informe");
  }
  if (paths.size() != 1) {
    UsageError(paths.empty() ? "falta el fichero de planes" : "sobran argumentos");
  }

  PlanFile file{platform::kNoFile, &paths[0]};
  if (const int error = platform::OpenForReading(paths[0], &file.handle); error != 0) {
    Fail("no se puede abrir \"" + paths[0] + "\": " + Cause(error), error);
  }
  ConsoleStream().Open(Discard, nullptr, false);
  ListingStream().Open(Discard, nullptr, false);
  if (html) {
    WriteHtmlReport(file, htmlPath);
  } else {
    InStream plan;
    plan.Open(ReadPlanFile, &file);
    ReportPlans(plan, json, withProtocols);
  }
  if (const int error = platform::CloseFile(file.handle); error != 0) {
    Fail("no se puede cerrar \"" + paths[0] + "\": " + Cause(error), error);
  }
  return 0;
}

}  // namespace tosim::report
