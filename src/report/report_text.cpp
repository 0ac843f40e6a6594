#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "report/report_format.h"

namespace tosim::report {

namespace {

using analysis::Access;
using analysis::PlanReport;

void PutNumber(std::string& out, std::int64_t number) {
  out += std::to_string(number);
}

// "T1, T3" (or `none` when there are none).
void PutTransactions(std::string& out, const std::vector<std::int32_t>& list, std::string_view none,
                     std::string_view separator = ", ") {
  if (list.empty()) {
    out += none;
    return;
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i != 0) {
      out += separator;
    }
    out += 'T';
    PutNumber(out, list[i]);
  }
}

// "R1(A) W2(A)"
void PutAccesses(std::string& out, const std::vector<Access>& list, std::string_view none) {
  if (list.empty()) {
    out += none;
    return;
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i != 0) {
      out += ' ';
    }
    out += list[i].kind == OpKind::Write ? 'W' : 'R';
    PutNumber(out, list[i].t);
    out += '(';
    out += list[i].item;
    out += ')';
  }
}

void PutVerdict(std::string& out, std::string_view name, bool yes) {
  out += name;
  out += yes ? "sí" : "no";
}

// "T1=1, T2=2" or "T1 → T2, T2 → T3": pairs of numbers, the first a transaction; `none` when
// there are none.
void PutPairs(std::string& out, const std::vector<std::pair<std::int32_t, std::int32_t>>& pairs,
              const char* between, const char* none) {
  if (pairs.empty()) {
    out += none;
  }
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    out += i == 0 ? "T" : ", T";
    PutNumber(out, pairs[i].first);
    out += between;
    PutNumber(out, pairs[i].second);
  }
}

}  // namespace

void AppendText(std::string& out, const PlanReport& report) {
  out += "Línea ";
  PutNumber(out, report.line);
  out += ", plan P";
  PutNumber(out, report.plan);
  out += "\n  Transacciones: ";
  PutTransactions(out, report.transactions, "ninguna");

  out += "\n  Marcas de tiempo: ";
  PutPairs(out, report.timestamps, "=", "ninguna");
  out += "\n  Validadas: ";
  PutTransactions(out, report.committed, "ninguna");
  out += "; abortadas: ";
  PutTransactions(out, report.aborted, "ninguna");
  out += "\n  Ejecutado: ";
  PutAccesses(out, report.executed, "nada");
  out += "\n  Orden serie por marcas de tiempo: ";
  PutTransactions(out, report.toOrder, "ninguno", " → ");
  out += "\n  Escrituras ignoradas (regla de Thomas): ";
  PutAccesses(out, report.skippedWrites, "ninguna");
  out += "\n  Retrocesos en cascada: ";
  PutTransactions(out, report.cascading, "ninguno");
  out += "\n  Sin la regla de Thomas: validadas: ";
  PutTransactions(out, report.withoutThomasCommitted, "ninguna");
  out += "; abortadas: ";
  PutTransactions(out, report.withoutThomasAborted, "ninguna");

  out += "\n  Grafo de precedencia: ";
  PutPairs(out, report.edges, " → T", "sin aristas");
  out += "\n  Serializable en conflictos: ";
  if (report.conflictSerializable) {
    out += "sí, orden ";
    PutTransactions(out, report.conflictOrder, "vacío", " → ");
  } else {
    out += "no, ciclo ";
    PutTransactions(out, report.conflictCycle, "", " → ");
  }
  out += "\n  Serializable en vistas: ";
  if (report.viewSerializable) {
    out += "sí, orden ";
    PutTransactions(out, report.viewOrder, "vacío", " → ");
  } else {
    out += "no";
  }
  PutVerdict(out, "\n  Recuperable: ", report.recoverable);
  PutVerdict(out, "; sin abortos en cascada: ", report.cascadeless);
  PutVerdict(out, "; estricto: ", report.strict);
  out += "\n\n";
}

}  // namespace tosim::report
