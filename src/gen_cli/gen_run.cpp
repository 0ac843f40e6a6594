#include "gen_cli/gen_run.h"

#include <chrono>
#include <string>
#include <string_view>

#include "generator/generate.h"
#include "generator/options.h"
#include "platform/platform.h"
#include "program/program_run.h"

#ifndef TOSIM_VERSION
#error "the build passes the project's version as TOSIM_VERSION"
#endif

namespace tosim::gen {

namespace {

constexpr std::string_view kSynopsis =
    "Uso: tosim-gen [--property P[,P...]] [--transactions K] [--items M]\n"
    "                [--operations N] [--count C] [--seed TEXTO] [--minimal]";

// At most 80 columns a line.
constexpr std::string_view kHelp =
    "\n"
    "     tosim-gen --help | -h | --version\n"
    "\n"
    "Escribe en la salida estándar un fichero de planes de tosim (un plan por\n"
    "línea, P1, P2, ..., con CR LF) cuyos planes tienen las propiedades pedidas,\n"
    "tal como las dice tosim-report --json --protocols --each-plan-alone.\n"
    "\n"
    "  --property P[,P...]\n"
    "                  las propiedades, separadas por comas; no-P pide que no se dé:\n"
    "                  thomas (alguna escritura ignorada por la regla de Thomas),\n"
    "                  to-rejects (la ordenación por marcas de tiempo rechaza una\n"
    "                  operación), cascade (retrocesos en cascada), csr, vsr,\n"
    "                  vsr-not-csr, recoverable, cascadeless, strict, rc-not-aca\n"
    "                  (recuperable con abortos en cascada), aca-not-strict (sin\n"
    "                  abortos en cascada, no estricto), deadlock (interbloqueo en\n"
    "                  2pl), dies (wait_die), wounds (wound_wait), occ-fails (occ\n"
    "                  falla una validación), strict-to-waits (strict_to hace\n"
    "                  esperar), mvto-saves (mvto valida una transacción que to\n"
    "                  rechaza), level-rc (el nivel de aislamiento más fuerte es\n"
    "                  lectura confirmada), g-single (la anomalía G-single),\n"
    "                  write-skew (escritura sesgada, A5B), lost-update\n"
    "                  (actualización perdida, P4), si-commits-not-serializable (si\n"
    "                  valida todas y no hay orden serie).\n"
    "  --transactions K  de 2 a 10 transacciones (3 si no se dice).\n"
    "  --items M       de 1 a 26 elementos, A, B, ... (2 si no se dice).\n"
    "  --operations N  como mucho N lecturas y escrituras por plan (3 por\n"
    "                  transacción si no se dice).\n"
    "  --count C       C planes distintos (también tras renombrar transacciones\n"
    "                  y elementos), de 1 a 1000 (1 si no se dice).\n"
    "  --seed TEXTO    cualquier texto (el nombre de un alumno): el mismo texto da\n"
    "                  siempre los mismos planes. Sin él, la semilla sale del reloj\n"
    "                  y se escribe en la salida de errores.\n"
    "  --minimal       ninguna lectura o escritura se puede quitar sin perder una\n"
    "                  propiedad pedida.\n"
    "  -h, --help      muestra esta ayuda.\n"
    "  --version       muestra la versión.\n"
    "\n"
    "Cada transacción empieza con su T, en orden de número, lee y escribe al menos\n"
    "una vez y acaba con su C (o con su A cuando lo pide una propiedad).\n"
    "\n"
    "Estado de salida: 0 si todo va bien; 64 si la línea de órdenes es incorrecta\n"
    "o las propiedades no pueden darse juntas (dice por qué); 65 si no se encontró\n"
    "ningún plan (o no tantos distintos) dentro de los límites de la búsqueda,\n"
    "que dice; 101 si la salida no se puede escribir.\n";

constexpr std::string_view kVersion = "tosim-gen " TOSIM_VERSION "\n";

constexpr std::string_view kProgram = "tosim-gen: ";

using program::Failure;

Failure WriteOutput(std::string_view bytes) {
  if (const int error = program::WriteStandardOutput(bytes); error != 0) {
    return {"no se puede escribir la salida estándar (error " + std::to_string(error) + ")", error};
  }
  return {};
}

// A seed text from the clock: the microseconds since 1970, in decimal.
std::string SeedFromClock() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
}

Failure Generate(const generator::Options& options) {
  const generator::Generation generation = generator::Generate(options, SeedFromClock());
  if (!generation.seedNote.empty()) {
    platform::WriteToStandardError(std::string(kProgram) + generation.seedNote + "\n");
  }
  if (generation.status != 0) {
    return {generation.problem, generation.status};
  }
  return WriteOutput(generation.plans);
}

Failure UsageError(const std::string& problem) {
  return {problem + "\n" + std::string(kSynopsis) + "\n(más en tosim-gen --help)",
          generator::kRefused};
}

Failure Run(int argc, char** argv) {
  const generator::Options options =
      generator::ParseOptions(platform::CommandLineArgumentsUtf8(argc, argv));
  if (options.help) {
    return WriteOutput(std::string(kSynopsis) + std::string(kHelp));
  }
  if (options.version) {
    return WriteOutput(kVersion);
  }
  if (!options.problem.empty()) {
    return UsageError(options.problem);
  }
  return Generate(options);
}

}  // namespace

int RunGenerator(int argc, char** argv) {
  return program::ExitStatus(kProgram, Run(argc, argv));
}

}  // namespace tosim::gen
