#include "report_cli/report_run.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/for_each_plan_report.h"
#include "plan/in_stream.h"
#include "platform/platform.h"
#include "program/program_run.h"
#include "protocols/protocols.h"
#include "report/check_report.h"
#include "report/in_memory_run.h"
#include "report/moodle_quiz.h"
#include "report/protocols_format.h"
#include "report/report_format.h"
#include "report/report_labels.h"
#include "report/report_page.h"
#include "report_cli/options.h"

#ifndef TOSIM_VERSION
#error "the build passes the project's version as TOSIM_VERSION"
#endif

namespace tosim::report {

namespace {

constexpr std::string_view kSynopsis =
    "Uso: tosim-report [--json] [--protocols] [--each-plan-alone] FICHERO_DE_PLANES\n"
    "     tosim-report --html INFORME.html [--exercises[=PROTOCOLO|all]]\n"
    "                  [--protocols] [--each-plan-alone[=no]] FICHERO_DE_PLANES\n"
    "     tosim-report --check RESPUESTAS [--json] [--each-plan-alone]\n"
    "                  FICHERO_DE_PLANES\n"
    "     tosim-report --moodle CUESTIONARIO.xml FICHERO_DE_PLANES";

// At most 80 columns a line.
constexpr std::string_view kHelp =
    "\n"
    "     tosim-report --help | -h | --version\n"
    "\n"
    "Lee el fichero de planes de tosim (un plan por línea) y escribe en la salida\n"
    "estándar, para cada plan, sus avisos, lo que ejecutó la ordenación por marcas\n"
    "de tiempo y lo que dice la teoría de la serializabilidad sobre el plan tal como\n"
    "está escrito.\n"
    "\n"
    "  (sin opciones)  un resumen en español por plan. Avisos: lo que el lector de\n"
    "                  planes no entendió o se saltó y lo que es raro en el plan,\n"
    "                  con la posición de la operación. Lo que se ejecutó: marcas\n"
    "                  de tiempo, transacciones validadas, abortadas y activas al\n"
    "                  final, operaciones ejecutadas y su orden en serie, escrituras\n"
    "                  ignoradas por la regla de Thomas, retrocesos en cascada y el\n"
    "                  resultado sin la regla de Thomas. El plan escrito: grafo de\n"
    "                  precedencia, serializabilidad en conflictos y en vistas (con\n"
    "                  su orden o su ciclo), lecturas de otras transacciones, y si es\n"
    "                  recuperable, sin abortos en cascada y estricto. Aislamiento:\n"
    "                  el nivel más fuerte que cumple el plan escrito y cada anomalía\n"
    "                  y fenómeno que muestra, con las operaciones que lo muestran.\n"
    "  --json          una línea JSON por plan (JSON Lines), con estas claves:\n"
    "                  line, plan, transactions, timestamps, committed, aborted,\n"
    "                  skipped_writes, executed, to_order, cascading, without_thomas,\n"
    "                  conflict_serializable, conflict_order, conflict_cycle,\n"
    "                  view_serializable, view_order, recoverable, cascadeless,\n"
    "                  strict, edges, warnings, active, reads_from, trace,\n"
    "                  isolation, conflicts\n"
    "                  (tosim-report(1) dice qué es cada una).\n"
    "  --protocols     añade a cada plan lo que hace con él cada uno de nueve\n"
    "                  protocolos de control de concurrencia (to, to_basic,\n"
    "                  strict_to, mvto, 2pl, wait_die, wound_wait, occ, si): con\n"
    "                  --json, la clave \"protocols\", la última; sin ella, una tabla\n"
    "                  con el destino de cada operación y, por protocolo, la\n"
    "                  historia, las transacciones validadas y abortadas (con la\n"
    "                  causa), los interbloqueos y el orden serie; con --html, la\n"
    "                  vista «Protocolos» de cada plan.\n"
    "  --each-plan-alone\n"
    "                  cada plan como si fuera la única línea de su fichero: sus\n"
    "                  marcas de tiempo empiezan en 1 (tosim las sigue contando de\n"
    "                  un plan al siguiente).\n"
    "  --html INFORME.html\n"
    "                  escribe en INFORME.html una página que se abre sin red: la\n"
    "                  traza de tosim y, para cada plan, su planificación, su grafo\n"
    "                  de precedencia y lo anterior. Acepta ficheros de planes de\n"
    "                  hasta 1 MiB y nunca escribe sobre el fichero de planes.\n"
    "  --exercises[=PROTOCOLO|all]\n"
    "                  con --html, una hoja de ejercicios para imprimir: cada plan\n"
    "                  con sus avisos, su tabla por rellenar y sus preguntas, y las\n"
    "                  soluciones completas al final, en páginas aparte. Las marcas\n"
    "                  de tiempo empiezan en 1 en cada plan, salvo con\n"
    "                  --each-plan-alone=no (el contador de tosim). Con un\n"
    "                  protocolo del laboratorio, o all, o con --protocols, pide\n"
    "                  también su tabla.\n"
    "  --check RESPUESTAS\n"
    "                  corrige las respuestas de un estudiante: JSON Lines con las\n"
    "                  claves de --json, una línea por plan con \"line\" (y \"plan\"\n"
    "                  si la línea tiene varios); las claves que faltan no se\n"
    "                  corrigen. Por plan, la nota y cada casilla mal o coherente\n"
    "                  con las respuestas anteriores del estudiante, con la regla\n"
    "                  que la decide; con --json, una línea JSON por plan. La\n"
    "                  salida de --json es una respuesta perfecta.\n"
    "  --moodle CUESTIONARIO.xml\n"
    "                  escribe en CUESTIONARIO.xml un cuestionario que Moodle\n"
    "                  importa (Banco de preguntas → Importar → Formato Moodle XML):\n"
    "                  una pregunta Cloze por plan, cada plan por separado (sus\n"
    "                  marcas de tiempo empiezan en 1), que pregunta la decisión de\n"
    "                  cada operación, TS_lect y TS_escr tras cada lectura y\n"
    "                  escritura, las marcas de tiempo, cómo acaba cada transacción\n"
    "                  y los veredictos del plan escrito, con las respuestas y el\n"
    "                  porqué de cada una. Como --html, hasta 1 MiB y nunca sobre el\n"
    "                  fichero de planes.\n"
    "  -h, --help      muestra esta ayuda.\n"
    "  --version       muestra la versión.\n"
    "\n"
    "Estado de salida: 0 si todo va bien; 64 si la línea de órdenes es incorrecta;\n"
    "65 si el fichero pasa del límite de --html o --moodle, o si alguna respuesta de\n"
    "--check no se puede leer o corregir (las demás se corrigen igual); si un\n"
    "fichero no se puede leer o la salida no se puede escribir, el número de error\n"
    "de tosim: 2 el fichero no existe, 3 la carpeta no existe, 5 acceso denegado\n"
    "(una carpeta, un fichero que otro proceso tiene abierto, o el propio fichero de\n"
    "planes como informe o cuestionario), 101 error de escritura.\n"
    "tosim-report no escribe ningún fichero, salvo el informe de --html y el\n"
    "cuestionario de --moodle.\n";

constexpr std::string_view kVersion = "tosim-report " TOSIM_VERSION "\n";

constexpr std::string_view kProgram = "tosim-report: ";

// The output is written in blocks of at least this size, and at the end.
constexpr std::size_t kOutputBlock = 64 * 1024;

using program::Cause;
using program::Failure;

// The one place where the report's bytes reach the platform. A failed or short write is a
// failure with its error number.
Failure WriteOutput(std::string_view bytes) {
  if (const int error = program::WriteStandardOutput(bytes); error != 0) {
    return {"no se puede escribir la salida estándar: " + Cause(error), error};
  }
  return {};
}

// The plan file as a byte source for the plan stream.
int ReadPlanFile(void* file, char* data, std::size_t capacity, std::size_t* got) {
  return platform::ReadFile(*static_cast<const platform::FileHandle*>(file), data, capacity, got);
}

PlanTimestamps TimestampsOf(const Options& options) {
  return options.eachPlanAlone ? PlanTimestamps::FromOne : PlanTimestamps::RunOn;
}

Failure UsageError(const std::string& problem) {
  return {problem + "\n" + std::string(kSynopsis) + "\n(más en tosim-report --help)", kUsageError};
}

// Reads the whole of `file` into `bytes`, up to `most` bytes (`tooLarge` says what is wrong with
// more).
Failure ReadWhole(platform::FileHandle file, const std::string& path, std::string& bytes,
                  std::size_t most, std::string_view tooLarge) {
  char block[kOutputBlock];
  for (std::size_t got = 1; got != 0;) {
    if (const int error = platform::ReadFile(file, block, sizeof block, &got); error != 0) {
      return {"no se puede leer \"" + path + "\": " + Cause(error), error};
    }
    if (got > most - bytes.size()) {
      return {"\"" + path + "\" " + std::string(tooLarge), kTooLargeForHtml};
    }
    bytes.append(block, got);
  }
  return {};
}

// Reads the whole plan file into `plan`; it may not be larger than `option` (--html, --moodle)
// takes.
Failure ReadWholePlanFile(platform::FileHandle file, const std::string& path, std::string& plan,
                          std::string_view option) {
  return ReadWhole(
      file, path, plan, kMostHtmlPlanBytes,
      "pasa de 1 MiB, lo más que toma " + std::string(option) + " (--json no tiene límite)");
}

// The local date and time as the page shows it: "8/12/2026, 10:58:00".
std::string Now() {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  if (local == nullptr) {
    return {};
  }
  char text[64];
  std::snprintf(text, sizeof text, "%d/%d/%d, %02d:%02d:%02d", local->tm_mday, local->tm_mon + 1,
                local->tm_year + 1900, local->tm_hour, local->tm_min, local->tm_sec);
  return text;
}

// A file made from the whole plan file at once (the HTML report, the Moodle quiz): the plan file
// is read, `compose` makes the file's bytes, and they go to `path`. The file is opened while the
// plan file is held, so that it can never be the plan file, and only once the plan file has been
// read: a plan file too large or unreadable leaves an existing file as it was.
template <typename Compose>
Failure WriteFromWholePlanFile(platform::FileHandle file, const Options& options,
                               const std::string& path, std::string_view option,
                               std::string_view what, Compose compose) {
  std::string plans;
  if (Failure failure = ReadWholePlanFile(file, options.planPath, plans, option)) {
    return failure;
  }
  platform::FileHandle output = platform::kNoFile;
  if (const int error = platform::CreateForWriting(path, &output); error != 0) {
    if (error == platform::kAccessDenied &&
        platform::AbsolutePath(path) == platform::AbsolutePath(options.planPath)) {
      return {"no se escribe " + std::string(what) + " \"" + path +
                  "\": es el fichero de planes (error " + std::to_string(error) + ")",
              error};
    }
    return {"no se puede escribir \"" + path + "\": " + Cause(error), error};
  }
  const std::string bytes = compose(plans);
  int error = platform::WriteFile(output, bytes.data(), bytes.size());
  if (const int closeError = platform::CloseFile(output); error == 0) {
    error = closeError;
  }
  if (error != 0) {
    return {"no se puede escribir \"" + path + "\": " + Cause(error), error};
  }
  return {};
}

// The HTML report: the whole plan file replayed into the trace as tosim shows it, and reported.
Failure WriteHtmlReport(platform::FileHandle file, const Options& options) {
  return WriteFromWholePlanFile(
      file, options, options.htmlPath, "--html", "el informe", [&](const std::string& plans) {
        InMemoryRun run;
        RunInMemory(plans, run, options.protocols, TimestampsOf(options));
        const std::string made = Now();
        std::uint32_t sheet = 0;
        for (int p = 0; p < protocols::kProtocolCount; ++p) {
          for (const std::string& name : options.sheetProtocols) {
            if (name == protocols::ProtocolName(static_cast<protocols::Protocol>(p))) {
              sheet |= 1u << p;
            }
          }
        }
        return ReportPage({options.planPath, made, plans, run.trace, run.reports, options.exercises,
                           options.eachPlanAlone, sheet, &run.counters});
      });
}

// Reads every plan of the file and appends each plan's report to `out`, writing `out` whenever it
// holds a block. With --protocols, the protocol lab replays each plan too: its key ends the JSON
// object, its table ends the summary. A file without any report says so in the summary; in JSON
// it is no line at all.
Failure ReportPlans(platform::FileHandle file, const Options& options) {
  InStream plan;
  plan.Open(ReadPlanFile, &file);
  std::string out;
  out.reserve(2 * kOutputBlock);
  Failure failure;
  protocols::ProtocolLab lab;
  bool reported = false;
  const auto start = [&] {
    if (options.protocols) {
      lab.Start();
    }
  };
  const auto add = [&](const Operation& operation) {
    if (options.protocols) {
      lab.Add(operation);
    }
  };
  // A plan's long lists go out as they are composed; after a failed write nothing more does.
  const Spill spill = [&](std::string& bytes) {
    if (!failure) {
      failure = WriteOutput(bytes);
    }
    bytes.clear();
  };
  // A failed write of the output stops the reading.
  const auto done = [&](const analysis::PlanReport& report) {
    reported = true;
    if (options.format == Format::Json) {
      AppendPlanJson(out, report, options.protocols ? &lab.Finish(report.timestamps) : nullptr,
                     spill);
    } else {
      AppendText(out, report);
      if (options.protocols && report.hasPlan) {
        out.pop_back();  // the empty line that ends the summary
        AppendProtocolsText(out, lab.Finish(report.timestamps));
        out += '\n';
      }
    }
    if (out.size() >= kOutputBlock) {
      failure = WriteOutput(out);
      out.clear();
    }
    return !failure;
  };
  const int error = analysis::ForEachPlanReport(plan, start, add, done, TimestampsOf(options));
  if (failure) {
    return failure;
  }
  if (error == 0 && !reported && options.format != Format::Json) {
    out += Text(Label::PlansNone);
    out += '\n';
  }
  failure = WriteOutput(out);
  if (!failure && error != 0) {
    failure = {"no se puede leer \"" + options.planPath + "\": " + Cause(error), error};
  }
  return failure;
}

// Checks the answers of `answerPath` against every plan of the file: per plan the marks, in
// the summary's words or as JSON Lines, and in the summary a total. Answers that cannot be read
// or checked are named on standard error, one line each, and the run ends with kBadAnswers; the
// other plans are checked all the same.
Failure CheckPlans(platform::FileHandle file, const Options& options) {
  std::string text;
  {
    platform::FileHandle answers = platform::kNoFile;
    if (const int error = platform::OpenForReading(options.checkPath, &answers); error != 0) {
      return {"no se puede abrir \"" + options.checkPath + "\": " + Cause(error), error};
    }
    Failure failure = ReadWhole(answers, options.checkPath, text, kMostAnswerBytes,
                                "pasa de 64 MiB, lo más que toma --check");
    if (const int error = platform::CloseFile(answers); error != 0 && !failure) {
      failure = {"no se puede cerrar \"" + options.checkPath + "\": " + Cause(error), error};
    }
    if (failure) {
      return failure;
    }
  }
  std::vector<PlanAnswers> objects;
  std::vector<AnswerProblem> problems;
  ReadAnswers(text, objects, problems);
  text = {};
  AnswerMatcher matcher(std::move(objects));

  InStream plan;
  plan.Open(ReadPlanFile, &file);
  std::string out;
  Failure failure;
  Score score;
  const auto done = [&](const analysis::PlanReport& report) {
    AppendCheck(out, options.format == Format::Json, report, matcher.Take(report), score, problems);
    if (out.size() >= kOutputBlock) {
      failure = WriteOutput(out);
      out.clear();
    }
    return !failure;
  };
  const int error = analysis::ForEachPlanReport(
      plan, [] {}, [](const Operation&) {}, done, TimestampsOf(options));
  if (failure) {
    return failure;
  }
  if (error != 0) {
    (void)WriteOutput(out);
    return {"no se puede leer \"" + options.planPath + "\": " + Cause(error), error};
  }
  matcher.Unmatched(problems);
  if (options.format != Format::Json) {
    AppendCheckTotal(out, score);
  }
  if (failure = WriteOutput(out); failure || problems.empty()) {
    return failure;
  }
  std::stable_sort(problems.begin(), problems.end(),
                   [](const AnswerProblem& a, const AnswerProblem& b) { return a.at < b.at; });
  std::string lines;
  for (const AnswerProblem& problem : problems) {
    lines += lines.empty() ? "" : "\n" + std::string(kProgram);
    lines += options.checkPath + ", línea " + std::to_string(problem.at) + ": " + problem.text;
  }
  return {lines, kBadAnswers};
}

// The run after the command line: the plan file opened, reported and closed.
Failure Report(const Options& options) {
  platform::FileHandle file = platform::kNoFile;
  if (const int error = platform::OpenForReading(options.planPath, &file); error != 0) {
    return {"no se puede abrir \"" + options.planPath + "\": " + Cause(error), error};
  }
  Failure failure;
  switch (options.format) {
    case Format::Html:
      failure = WriteHtmlReport(file, options);
      break;
    case Format::Moodle:
      failure = WriteFromWholePlanFile(file, options, options.moodlePath, "--moodle",
                                       "el cuestionario", MoodleQuiz);
      break;
    default:
      failure = options.checkPath.empty() ? ReportPlans(file, options) : CheckPlans(file, options);
      break;
  }
  if (const int error = platform::CloseFile(file); error != 0 && !failure) {
    failure = {"no se puede cerrar \"" + options.planPath + "\": " + Cause(error), error};
  }
  return failure;
}

Failure Run(int argc, char** argv) {
  const Options options = ParseOptions(platform::CommandLineArguments(argc, argv));
  if (options.help) {
    return WriteOutput(std::string(kSynopsis) + std::string(kHelp));
  }
  if (options.version) {
    return WriteOutput(kVersion);
  }
  if (!options.problem.empty()) {
    return UsageError(options.problem);
  }
  return Report(options);
}

}  // namespace

int RunReport(int argc, char** argv) {
  return program::ExitStatus(kProgram, Run(argc, argv));
}

}  // namespace tosim::report
