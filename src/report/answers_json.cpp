#include "report/answers_json.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string>

#include "report/report_labels.h"

// The playground's engine is built without C++ exceptions: nothing here throws. JSON is parsed
// with exceptions off, and every value's kind is tested before it is read.

namespace tosim::report {

namespace {

using nlohmann::json;
using practice::Answer;

// The column of the first error in `text`, by a second, event-only pass of the parser.
std::size_t ErrorColumn(std::string_view text) {
  struct Column : nlohmann::json_sax<json> {
    std::size_t at = 0;
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t&) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception&) override {
      at = position;
      return false;
    }
  } column;
  (void)json::sax_parse(text, &column, json::input_format_t::json, true, false);
  return column.at;
}

// Reads one object; the first problem found stops it.
class ObjectReader {
 public:
  explicit ObjectReader(PlanAnswers& out) : out_(out) {}

  // Returns the problem, or an empty string.
  std::string Read(const json& object) {
    if (!object.is_object()) {
      return "no es un objeto JSON";
    }
    const auto line = object.find("line");
    if (line == object.end()) {
      return "falta la clave \"line\"";
    }
    std::int64_t number = 0;
    if (!line->is_number_integer() || (number = line->get<std::int64_t>()) < 1) {
      return "\"line\" debe ser un número de línea, desde 1";
    }
    out_.line = number;
    for (const auto& [key, value] : object.items()) {
      if (!Member(key, value)) {
        return problem_;
      }
    }
    return {};
  }

 private:
  bool Fail(std::string problem) {
    problem_ = std::move(problem);
    return false;
  }
  bool Unknown(const std::string& place) { return Fail("clave desconocida \"" + place + "\""); }
  bool Expected(const std::string& place, std::string_view what) {
    return Fail("\"" + place + "\" debe ser " + std::string(what));
  }

  static bool Int32(const json& value, std::int32_t& number) {
    if (!value.is_number_integer()) {
      return false;
    }
    const std::int64_t wide = value.get<std::int64_t>();
    if (wide < std::numeric_limits<std::int32_t>::min() ||
        wide > std::numeric_limits<std::int32_t>::max()) {
      return false;
    }
    number = static_cast<std::int32_t>(wide);
    return true;
  }

  bool Number(const std::string& place, const json& value, Answer<std::int32_t>& answer) {
    std::int32_t number = 0;
    if (value.is_null()) {
      answer.SetNone();
    } else if (Int32(value, number)) {
      answer.Set(number);
    } else {
      return Expected(place, "un número o null");
    }
    return true;
  }

  bool Bool(const std::string& place, const json& value, Answer<bool>& answer) {
    if (!value.is_boolean()) {
      return Expected(place, "true o false");
    }
    answer.Set(value.get<bool>());
    return true;
  }

  // A list of transaction numbers, or null where `nullable`.
  bool Numbers(const std::string& place, const json& value,
               Answer<std::vector<std::int32_t>>& answer, bool nullable) {
    if (nullable && value.is_null()) {
      answer.SetNone();
      return true;
    }
    std::vector<std::int32_t> numbers;
    bool fits = value.is_array();
    for (const json& element : fits ? value : json::array()) {
      std::int32_t number = 0;
      fits = fits && Int32(element, number);
      numbers.push_back(number);
    }
    if (!fits) {
      return Expected(place, nullable ? "una lista de números o null" : "una lista de números");
    }
    answer.Set(std::move(numbers));
    return true;
  }

  // The value T whose name (`nameOf`) is `value`'s string, among the first `count`.
  template <typename T, typename NameOf>
  bool OneOf(const std::string& place, const json& value, int count, NameOf nameOf,
             Answer<T>& answer) {
    std::string list;
    for (int i = 0; i < count; ++i) {
      const std::string_view name = nameOf(static_cast<T>(i));
      if (value.is_string() && value.get_ref<const std::string&>() == name) {
        answer.Set(static_cast<T>(i));
        return true;
      }
      list += list.empty() ? "\"" : ", \"";
      list += name;
      list += '"';
    }
    return Expected(place, "uno de " + list);
  }

  // "W1(A)": a read or write of transaction 1 to 10 on an item "A" to "Z".
  static bool AccessOf(const json& value, analysis::Access& access) {
    if (!value.is_string()) {
      return false;
    }
    const std::string& text = value.get_ref<const std::string&>();
    const std::size_t open = text.find('(');
    if (text.size() < 5 || (text[0] != 'R' && text[0] != 'W') || open == std::string::npos ||
        open + 3 != text.size() || text.back() != ')' || text[open + 1] < 'A' ||
        text[open + 1] > 'Z') {
      return false;
    }
    const std::string number = text.substr(1, open - 1);
    if (number != std::to_string(std::atoi(number.c_str())) || std::atoi(number.c_str()) < 1 ||
        std::atoi(number.c_str()) > kLastTransaction) {
      return false;
    }
    access = {text[0] == 'W' ? OpKind::Write : OpKind::Read, std::atoi(number.c_str()),
              text[open + 1]};
    return true;
  }

  bool Member(const std::string& key, const json& value) {
    practice::Answers& answers = out_.answers;
    if (key == "line") {
      return true;
    }
    if (key == "plan") {
      std::int32_t number = 0;
      out_.planGiven = true;
      out_.hasPlan = !value.is_null();
      if (out_.hasPlan && !Int32(value, number)) {
        return Expected(key, "el número del plan o null");
      }
      out_.plan = number;
      return true;
    }
    if (key == "timestamps") {
      return Timestamps(value);
    }
    if (key == "committed") {
      return Numbers(key, value, answers.committed, false);
    }
    if (key == "aborted") {
      return Numbers(key, value, answers.aborted, false);
    }
    if (key == "skipped_writes") {
      std::vector<analysis::Access> accesses;
      for (std::size_t i = 0; value.is_array() && i < value.size(); ++i) {
        accesses.emplace_back();
        if (!AccessOf(value[i], accesses.back())) {
          return Expected(key + "[" + std::to_string(i) + "]", "una escritura como \"W1(A)\"");
        }
      }
      if (!value.is_array()) {
        return Expected(key, "una lista de escrituras como \"W1(A)\"");
      }
      answers.skippedWrites.Set(std::move(accesses));
      return true;
    }
    if (key == "conflict_serializable") {
      return Bool(key, value, answers.conflictSerializable);
    }
    if (key == "conflict_order") {
      return Numbers(key, value, answers.conflictOrder, true);
    }
    if (key == "conflict_cycle") {
      return Numbers(key, value, answers.conflictCycle, true);
    }
    if (key == "view_serializable") {
      return Bool(key, value, answers.viewSerializable);
    }
    if (key == "view_order") {
      return Numbers(key, value, answers.viewOrder, true);
    }
    if (key == "recoverable") {
      return Bool(key, value, answers.recoverable);
    }
    if (key == "cascadeless") {
      return Bool(key, value, answers.cascadeless);
    }
    if (key == "strict") {
      return Bool(key, value, answers.strict);
    }
    if (key == "trace") {
      return Trace(value);
    }
    if (key == "protocols") {
      return Protocols(value);
    }
    // The report's other keys are no questions: read and not marked.
    static constexpr std::string_view kNotAsked[] = {
        "transactions", "executed", "to_order",   "cascading", "without_thomas", "edges",
        "warnings",     "active",   "reads_from", "isolation", "conflicts"};
    if (std::find(std::begin(kNotAsked), std::end(kNotAsked), key) != std::end(kNotAsked)) {
      return true;
    }
    return Unknown(key);
  }

  bool Timestamps(const json& value) {
    if (!value.is_object()) {
      return Expected("timestamps", "un objeto como {\"1\": 1}");
    }
    for (const auto& [key, timestamp] : value.items()) {
      const std::string place = "timestamps." + key;
      const int t = std::atoi(key.c_str());
      if (key != std::to_string(t) || t < kFirstTransaction || t > kLastTransaction) {
        return Fail("\"" + place + "\": las transacciones van de 1 a 10");
      }
      if (!Number(place, timestamp, out_.answers.timestamps[t - kFirstTransaction])) {
        return false;
      }
    }
    return true;
  }

  bool Trace(const json& value) {
    if (!value.is_array()) {
      return Expected("trace", "una lista, una entrada por operación");
    }
    std::vector<practice::TraceAnswer> rows(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
      const std::string place = "trace[" + std::to_string(i) + "]";
      if (!value[i].is_object()) {
        return Expected(place, "un objeto");
      }
      for (const auto& [key, cell] : value[i].items()) {
        const std::string at = place + "." + key;
        if (key == "decision") {
          if (!OneOf(at, cell, static_cast<int>(analysis::Outcome::Error) + 1, OutcomeKey,
                     rows[i].decision)) {
            return false;
          }
        } else if (key == "ts_lect" || key == "ts_escr") {
          if (!Number(at, cell, key == "ts_lect" ? rows[i].tsLect : rows[i].tsEscr)) {
            return false;
          }
        } else if (key != "position" && key != "op" && key != "t" && key != "ts" && key != "rule" &&
                   key != "why") {
          return Unknown(at);
        }
      }
    }
    out_.answers.trace.Set(std::move(rows));
    return true;
  }

  bool Protocols(const json& value) {
    if (!value.is_object()) {
      return Expected("protocols", "un objeto, un protocolo por clave");
    }
    for (const auto& [name, run] : value.items()) {
      const std::string place = "protocols." + name;
      int protocol = 0;
      while (protocol < protocols::kProtocolCount &&
             name != protocols::ProtocolName(static_cast<protocols::Protocol>(protocol))) {
        ++protocol;
      }
      if (protocol == protocols::kProtocolCount) {
        return Unknown(place);
      }
      if (!run.is_object()) {
        return Expected(place, "un objeto");
      }
      practice::ProtocolAnswers answers;
      answers.protocol = static_cast<protocols::Protocol>(protocol);
      for (const auto& [key, member] : run.items()) {
        if (key == "steps") {
          if (!Steps(place + ".steps", member, answers.steps)) {
            return false;
          }
        } else if (key != "history" && key != "committed" && key != "aborted" && key != "waiting" &&
                   key != "active" && key != "deadlocks" && key != "unrecoverable" &&
                   key != "order") {
          return Unknown(place + "." + key);
        }
      }
      if (run.contains("steps")) {
        out_.answers.protocols.push_back(std::move(answers));
        out_.protocols = true;
      }
    }
    return true;
  }

  bool Steps(const std::string& place, const json& value,
             std::vector<practice::StepAnswer>& steps) {
    if (!value.is_array()) {
      return Expected(place, "una lista, una entrada por operación");
    }
    steps.resize(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
      const std::string step = place + "[" + std::to_string(i) + "]";
      if (!value[i].is_object()) {
        return Expected(step, "un objeto");
      }
      for (const auto& [key, cell] : value[i].items()) {
        const std::string at = step + "." + key;
        if (key == "result") {
          if (!OneOf(at, cell, static_cast<int>(protocols::Result::Dropped) + 1, ResultKey,
                     steps[i].result)) {
            return false;
          }
        } else if (key == "waited_for") {
          Answer<std::vector<std::int32_t>> numbers;
          if (!Numbers(at, cell, numbers, false)) {
            return false;
          }
          TransactionSet set;
          for (const std::int32_t t : numbers.value) {
            if (t < kFirstTransaction || t > kLastTransaction) {
              return Fail("\"" + at + "\": las transacciones van de 1 a 10");
            }
            set.Insert(t);
          }
          steps[i].waitedFor.Set(set);
        } else if (key != "op" && key != "delayed" && key != "from" && key != "why" &&
                   key != "wounded") {
          return Unknown(at);
        }
      }
    }
    return true;
  }

  PlanAnswers& out_;
  std::string problem_;
};

}  // namespace

void ReadAnswers(std::string_view text, std::vector<PlanAnswers>& objects,
                 std::vector<AnswerProblem>& problems) {
  std::int64_t at = 0;
  while (!text.empty()) {
    ++at;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    if (line.find_first_not_of(" \t") == std::string_view::npos) {
      continue;
    }
    const json object = json::parse(line, nullptr, false);
    if (object.is_discarded()) {
      problems.push_back(
          {at, "no es JSON válido (columna " + std::to_string(ErrorColumn(line)) + ")"});
      continue;
    }
    PlanAnswers answers;
    answers.at = at;
    std::string problem = ObjectReader(answers).Read(object);
    if (problem.empty()) {
      objects.push_back(std::move(answers));
    } else {
      problems.push_back({at, std::move(problem)});
    }
  }
}

}  // namespace tosim::report
