#include "report/report_labels.h"

#include <array>
#include <cstddef>

#include "trace/text_encoding.h"

namespace tosim::report {

namespace {

using analysis::Warning;
using analysis::WarningKind;

struct LabelEntry {
  Label label;
  std::string_view key;   // the name the page looks it up by: a JSON key where there is one
  std::string_view text;  // UTF-8
};

// The Spanish words. A verdict's label has its JSON key; "KEY.none" is what it says when empty.
constexpr LabelEntry kSpanish[] = {
    {Label::Line, "line", "Línea"},
    {Label::Plan, "plan", "plan"},
    {Label::NoPlan, "no_plan", "sin plan"},
    {Label::Warnings, "warnings", "Avisos"},
    {Label::WarningsNone, "warnings.none", "ninguno"},
    {Label::Position, "position", "operación"},
    {Label::ExecutedHeading, "executed_heading",
     "Lo que ejecutó la ordenación por marcas de tiempo"},
    {Label::Timestamps, "timestamps", "Marcas de tiempo"},
    {Label::TimestampsNone, "timestamps.none", "ninguna"},
    {Label::Committed, "committed", "Validadas"},
    {Label::CommittedNone, "committed.none", "ninguna"},
    {Label::Aborted, "aborted", "Abortadas"},
    {Label::AbortedNone, "aborted.none", "ninguna"},
    {Label::Active, "active", "Activas al final"},
    {Label::ActiveNone, "active.none", "ninguna"},
    {Label::Executed, "executed", "Operaciones ejecutadas"},
    {Label::ExecutedNone, "executed.none", "ninguna"},
    {Label::ToOrder, "to_order", "Orden en serie de las marcas de tiempo"},
    {Label::ToOrderNone, "to_order.none", "ninguno"},
    {Label::SkippedWrites, "skipped_writes", "Escrituras ignoradas (regla de Thomas)"},
    {Label::SkippedWritesNone, "skipped_writes.none", "ninguna"},
    {Label::Cascading, "cascading", "Retrocesos en cascada"},
    {Label::CascadingNone, "cascading.none", "ninguno"},
    {Label::WithoutThomas, "without_thomas", "Sin la regla de Thomas"},
    {Label::WithoutThomasCommitted, "without_thomas.committed", "validadas"},
    {Label::WithoutThomasAborted, "without_thomas.aborted", "abortadas"},
    {Label::WrittenHeading, "written_heading", "El plan tal como está escrito"},
    {Label::Transactions, "transactions", "Transacciones"},
    {Label::TransactionsNone, "transactions.none", "ninguna"},
    {Label::Edges, "edges", "Grafo de precedencia"},
    {Label::EdgesNone, "edges.none", "sin aristas"},
    {Label::ConflictSerializable, "conflict_serializable", "Serializable en conflictos"},
    {Label::ViewSerializable, "view_serializable", "Serializable en vistas"},
    {Label::ReadsFrom, "reads_from", "Lecturas de otras transacciones"},
    {Label::ReadsFromNone, "reads_from.none", "ninguna"},
    {Label::ReadsFromReads, "reads_from.reads", "lee"},
    {Label::ReadsFromFrom, "reads_from.from", "de"},
    {Label::Recoverable, "recoverable", "Recuperable"},
    {Label::Cascadeless, "cascadeless", "Sin abortos en cascada"},
    {Label::Strict, "strict", "Estricto"},
    {Label::Yes, "yes", "sí"},
    {Label::No, "no", "no"},
    {Label::Order, "order", "orden"},
    {Label::OrderEmpty, "order.empty", "vacío"},
    {Label::Cycle, "cycle", "ciclo"},
    {Label::PlansNone, "plans.none", "Ningún plan en el fichero"},
};

static_assert(std::size(kSpanish) == static_cast<std::size_t>(Label::Count));
static_assert(
    [] {
      for (std::size_t i = 0; i < std::size(kSpanish); ++i) {
        if (static_cast<std::size_t>(kSpanish[i].label) != i) {
          return false;
        }
      }
      return true;
    }(),
    "the table lists the labels in their order");

// `"text"`: the labels hold no character that JSON escapes.
void PutQuoted(std::string& out, std::string_view text) {
  out += '"';
  out += text;
  out += '"';
}

void AppendReadableIgnored(std::string& out, const IgnoredText& ignored) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::size_t kept = ignored.count < IgnoredText::kKept ? ignored.count : IgnoredText::kKept;
  out += '"';
  for (std::size_t i = 0; i < kept; ++i) {
    const auto byte = static_cast<unsigned char>(ignored.text[i]);
    if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += Cp1252ToUtf8(std::string_view(&ignored.text[i], 1));
    }
  }
  if (ignored.count > kept) {
    out += "…\" (";
    out += std::to_string(ignored.count);
    out += " caracteres)";
  } else {
    out += '"';
  }
}

// The reader's message for its syntax warnings, as the trace shows it after "ERR: ".
std::string_view SyntaxMessage(WarningKind kind) {
  switch (kind) {
    case WarningKind::IllegalOperation:
      return "operación ilegal";
    case WarningKind::NumberExpected:
      return "se esperaba un número > 0";
    case WarningKind::OpenExpected:
      return "se esperaba un \"(\"";
    case WarningKind::LetterExpected:
      return "se esperaba una letra mayúscula";
    case WarningKind::CloseExpected:
      return "se esperaba un \")\"";
    default:
      return {};
  }
}

void PutTransaction(std::string& out, std::int32_t t) {
  out += 'T';
  out += std::to_string(t);
}

}  // namespace

std::string_view Text(Label label) {
  return kSpanish[static_cast<std::size_t>(label)].text;
}

void AppendLabelsJson(std::string& out) {
  out += '{';
  for (const LabelEntry& entry : kSpanish) {
    if (entry.label != Label::Line) {
      out += ',';
    }
    PutQuoted(out, entry.key);
    out += ':';
    PutQuoted(out, entry.text);
  }
  out += '}';
}

std::string LabelsJson() {
  std::string out;
  AppendLabelsJson(out);
  return out;
}

std::string_view WarningKey(WarningKind kind) {
  switch (kind) {
    case WarningKind::IllegalOperation:
      return "illegal_operation";
    case WarningKind::NumberExpected:
      return "number_expected";
    case WarningKind::OpenExpected:
      return "open_expected";
    case WarningKind::LetterExpected:
      return "letter_expected";
    case WarningKind::CloseExpected:
      return "close_expected";
    case WarningKind::IgnoredText:
      return "ignored_text";
    case WarningKind::TransactionOutOfRange:
      return "transaction_out_of_range";
    case WarningKind::ItemOutOfRange:
      return "item_out_of_range";
    case WarningKind::SecondBegin:
      return "second_begin";
    case WarningKind::NotBegun:
      return "not_begun";
    case WarningKind::AfterCommit:
      return "after_commit";
    case WarningKind::AfterAbort:
      return "after_abort";
    case WarningKind::NoPlan:
      return "no_plan";
  }
  return {};
}

void AppendWarningText(std::string& out, const Warning& warning) {
  const bool skipped = warning.ignored.count != 0;
  switch (warning.kind) {
    case WarningKind::IllegalOperation:
    case WarningKind::NumberExpected:
    case WarningKind::OpenExpected:
    case WarningKind::LetterExpected:
    case WarningKind::CloseExpected:
      out += SyntaxMessage(warning.kind);
      if (skipped) {
        out += "; se ignora ";
        AppendReadableIgnored(out, warning.ignored);
      } else if (warning.kind == WarningKind::IllegalOperation) {
        out += ": no hay nada entre dos separadores";
      }
      break;
    case WarningKind::IgnoredText:
      out += "se ignora ";
      AppendReadableIgnored(out, warning.ignored);
      out += ": lo que sigue a una operación hasta el separador no se lee";
      break;
    case WarningKind::TransactionOutOfRange:
      PutTransaction(out, warning.transaction);
      out += " no existe (las transacciones van de T1 a T10): la operación no cuenta";
      break;
    case WarningKind::ItemOutOfRange:
      PutTransaction(out, warning.transaction);
      out += " lee o escribe sin un elemento de la A a la Z: la operación no cuenta";
      break;
    case WarningKind::SecondBegin:
      PutTransaction(out, warning.transaction);
      out += " ya se había iniciado en este plan: este inicio no cuenta";
      break;
    case WarningKind::NotBegun:
      PutTransaction(out, warning.transaction);
      out +=
          " no se ha iniciado en este plan: el plan escrito cuenta la operación, la "
          "ordenación por marcas de tiempo no la ejecuta";
      break;
    case WarningKind::AfterCommit:
      PutTransaction(out, warning.transaction);
      out += " ya se había validado: la operación no cuenta";
      break;
    case WarningKind::AfterAbort:
      PutTransaction(out, warning.transaction);
      out += " ya se había abortado: la operación no cuenta";
      break;
    case WarningKind::NoPlan:
      out += "la línea no empieza con un plan (P y su número): no se ejecuta nada de ella";
      break;
  }
}

}  // namespace tosim::report
