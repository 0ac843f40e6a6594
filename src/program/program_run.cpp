#include "program/program_run.h"

#include "platform/platform.h"

namespace tosim::program {

int WriteStandardOutput(std::string_view utf8) {
  const platform::FileHandle out = platform::StandardOutput();
  return platform::ConsoleTakesText(out) ? platform::WriteConsoleUtf8(out, utf8)
                                         : platform::WriteFile(out, utf8.data(), utf8.size());
}

std::string Cause(int errorNumber) {
  std::string cause;
  switch (errorNumber) {
    case platform::kFileNotFound:
      cause = "el fichero no existe";
      break;
    case platform::kPathNotFound:
      cause = "la carpeta de la ruta no existe";
      break;
    case platform::kTooManyOpenFiles:
      cause = "demasiados ficheros abiertos";
      break;
    case platform::kAccessDenied:
      cause = "acceso denegado: es una carpeta, o lo tiene abierto otro proceso";
      break;
    case platform::kInvalidHandle:
      cause = "identificador no válido";
      break;
    case platform::kDiskReadError:
      cause = "error de lectura";
      break;
    case platform::kDiskWriteError:
      cause = "error de escritura";
      break;
    default:
      cause =
          errorNumber >= platform::kFirstDeviceError && errorNumber <= platform::kLastDeviceError
              ? "error del dispositivo"
              : "error";
      break;
  }
  return cause + " (error " + std::to_string(errorNumber) + ")";
}

int ExitStatus(std::string_view program, const Failure& failure) {
  if (failure) {
    platform::WriteToStandardError(std::string(program) + failure.line + "\n");
  }
  return failure.status;
}

}  // namespace tosim::program
