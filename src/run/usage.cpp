#include "run/usage.h"

#include <string_view>

#include "platform/platform.h"
#include "trace/trace.h"

#ifndef TOSIM_VERSION
#error "the build passes the project's version as TOSIM_VERSION"
#endif

namespace tosim {

namespace {

// Windows-1252, CR LF, like every other text of the program.
constexpr std::string_view kUsage =
    "Uso: tosim [FICHERO_DE_PLANES [FICHERO_DE_LISTADO]]\r\n"
    "     tosim --help | -h | --version\r\n"
    "\r\n"
    "Simula el control de concurrencia por marcas de tiempo (con la regla de\r\n"
    "escritura de Thomas) sobre los planes de un fichero de texto, uno por l\xEDnea,\r\n"
    "y escribe la traza de cada operaci\xF3n en la consola y en un fichero de listado.\r\n"
    "\r\n"
    "  FICHERO_DE_PLANES   el fichero de planes que se lee.\r\n"
    "  FICHERO_DE_LISTADO  el fichero donde se escribe la traza; por omisi\xF3n, el\r\n"
    "                      fichero de planes con la extensi\xF3n \".lst\" (plans.txt\r\n"
    "                      da plans.lst, en la misma carpeta).\r\n"
    "\r\n"
    "Sin argumentos, tosim pregunta por el fichero de planes y por el de listado\r\n"
    "(en Windows, con los di\xE1logos Abrir y Guardar como; en otros sistemas, en la\r\n"
    "consola). Al terminar, espera la tecla Intro.\r\n"
    "\r\n"
    "Estado de salida: 0 al terminar; si falla una operaci\xF3n de entrada/salida, el\r\n"
    "n\xFAmero del error (2 fichero no encontrado, 3 ruta no encontrada, 5 acceso\r\n"
    "denegado, 101 error de escritura), tras el mensaje \"Runtime error\".\r\n";

constexpr std::string_view kVersion = "tosim " TOSIM_VERSION "\r\n";

}  // namespace

bool AnswerInformationRequest(const std::vector<std::string>& arguments) {
  if (arguments.empty()) {
    return false;
  }
  const std::string& word = arguments[0];
  const bool help = word == "--help" || word == "-h" || platform::IsPlatformHelpSwitch(word);
  if ((!help && word != "--version") || platform::IsExistingFile(word)) {
    return false;
  }
  ConsoleStream().Write(help ? kUsage : kVersion);
  return true;
}

}  // namespace tosim
