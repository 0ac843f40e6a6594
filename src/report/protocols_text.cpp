#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "report/protocols_format.h"

namespace tosim::report {

namespace {

using protocols::Cause;
using protocols::ProtocolRun;
using protocols::Result;
using protocols::Step;

// "T1, T3", or `none` for the empty set.
void PutSet(std::string& out, TransactionSet set, std::string_view none) {
  if (set.Empty()) {
    out += none;
  }
  set.ForEach([&](int t) {
    out += out.back() == ' ' ? "T" : ", T";
    out += std::to_string(t);
  });
}

// "T1 → T2 → T1"
void PutChain(std::string& out, const std::vector<std::int32_t>& list) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    out += i == 0 ? "T" : " → T";
    out += std::to_string(list[i]);
  }
}

const char* CauseText(Cause cause) {
  switch (cause) {
    case Cause::Abort:
      return "abortada";
    case Cause::Rejected:
      return "rechazada";
    case Cause::Cascade:
      return "en cascada";
    case Cause::Victim:
      return "víctima";
    case Cause::Died:
      return "muere";
    case Cause::Wounded:
      return "herida";
    case Cause::Validation:
      return "validación fallida";
  }
  return "";
}

// What became of one operation, in a few words: how it waited, then how it ended.
std::string Cell(const ProtocolRun& run, const Step& step) {
  std::string cell;
  if (!step.waitedFor.Empty()) {
    cell = "espera a ";
    PutSet(cell, step.waitedFor, "");
    if (step.result == Result::Pending) {
      return cell;
    }
    cell += " → ";
  } else if (step.delayed && step.result != Result::Pending) {
    cell = "en cola → ";
  }
  const Cause cause = run.causes[step.t - 1];
  switch (step.result) {
    case Result::Executed:
      cell += "ejecutada";
      break;
    case Result::Skipped:
      cell += "ignorada (Thomas)";
      break;
    case Result::Rejected:
      cell += cause == Cause::Died         ? "muere"
              : cause == Cause::Validation ? "validación fallida"
                                           : "rechazada";
      break;
    case Result::Ignored:
      cell += "ignorada";
      break;
    case Result::Pending:
      cell += "pendiente";
      break;
    case Result::Dropped:
      cell += cause == Cause::Victim    ? "víctima"
              : cause == Cause::Wounded ? "herida"
                                        : "descartada";
      break;
  }
  return cell;
}

// Characters, not bytes: the table is aligned for the eye.
std::size_t Width(std::string_view text) {
  std::size_t width = 0;
  for (const char byte : text) {
    width += (static_cast<unsigned char>(byte) & 0xC0u) != 0x80u;
  }
  return width;
}

void PutPadded(std::string& out, const std::string& text, std::size_t width) {
  out += text;
  out.append(width - Width(text), ' ');
}

}  // namespace

void AppendProtocolsText(std::string& out, const protocols::PlanProtocols& plan) {
  constexpr int kColumns = protocols::kProtocolCount + 1;
  const std::vector<Step>& steps = plan.runs[0].steps;
  // The table's cells, row by row: a header, then a row per operation.
  std::vector<std::string> cells;
  cells.reserve((steps.size() + 1) * kColumns);
  cells.emplace_back("Operación");
  for (int p = 0; p < protocols::kProtocolCount; ++p) {
    cells.emplace_back(protocols::ProtocolName(static_cast<protocols::Protocol>(p)));
  }
  for (std::size_t i = 0; i < steps.size(); ++i) {
    cells.push_back(protocols::StepLabel(steps[i]));
    for (const ProtocolRun& run : plan.runs) {
      cells.push_back(Cell(run, run.steps[i]));
    }
  }
  std::size_t widths[kColumns] = {};
  for (std::size_t i = 0; i < cells.size(); ++i) {
    widths[i % kColumns] = std::max(widths[i % kColumns], Width(cells[i]));
  }

  out += "  Protocolos:\n";
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const std::size_t column = i % kColumns;
    if (column == 0) {
      out += "    ";
    }
    if (column + 1 == kColumns) {
      out += cells[i];
      out += '\n';
    } else {
      PutPadded(out, cells[i], widths[column] + 2);
    }
  }

  for (int p = 0; p < protocols::kProtocolCount; ++p) {
    const ProtocolRun& run = plan.runs[p];
    out += "    ";
    out += protocols::ProtocolName(static_cast<protocols::Protocol>(p));
    out += ": historia";
    for (const protocols::Event& event : run.history) {
      out += ' ';
      out += protocols::StepLabel({event.kind, event.t, event.item});
    }
    if (run.history.empty()) {
      out += " vacía";
    }
    out += "; validadas ";
    PutSet(out, run.committed, "ninguna");
    out += "; abortadas ";
    if (run.aborted.Empty()) {
      out += "ninguna";
    }
    run.aborted.ForEach([&](int t) {
      out += out.back() == ' ' ? "T" : ", T";
      out += std::to_string(t);
      out += " (";
      out += CauseText(run.causes[t - 1]);
      out += ')';
    });
    if (!run.waiting.Empty()) {
      out += "; en espera ";
      PutSet(out, run.waiting, "");
    }
    if (!run.active.Empty()) {
      out += "; activas ";
      PutSet(out, run.active, "");
    }
    if (!run.unrecoverable.Empty()) {
      out += "; irrecuperables ";
      PutSet(out, run.unrecoverable, "");
    }
    out += "; interbloqueos ";
    if (run.deadlocks.empty()) {
      out += "ninguno";
    }
    for (std::size_t i = 0; i < run.deadlocks.size(); ++i) {
      out += i == 0 ? "" : ", ";
      PutChain(out, run.deadlocks[i].cycle);
      out += " (víctima T";
      out += std::to_string(run.deadlocks[i].victim);
      out += ')';
    }
    out += "; orden serie ";
    if (!run.orderExists) {
      out += "no hay (ciclo)";
    } else if (run.order.empty()) {
      out += "vacío";
    } else {
      PutChain(out, run.order);
    }
    out += '\n';
  }
}

}  // namespace tosim::report
