#include "generator/options.h"

#include <string_view>

namespace tosim::generator {

namespace {

// The first problem found is the one reported.
void Complain(Options& options, const std::string& problem) {
  if (options.problem.empty()) {
    options.problem = problem;
  }
}

// A number from `low` to `high`, written in decimal digits; false when it is not one.
bool ReadNumber(const std::string& text, int low, int high, int& number) {
  if (text.empty() || text.size() > 4) {
    return false;
  }
  int value = 0;
  for (const char digit : text) {
    if (digit < '0' || digit > '9') {
      return false;
    }
    value = value * 10 + (digit - '0');
  }
  number = value;
  return value >= low && value <= high;
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& arguments) {
  Options options;
  Sizes& sizes = options.search.sizes;
  bool operationsGiven = false;
  const auto numberOption = [&](std::size_t& i, int low, int high, int& number) {
    const std::string& name = arguments[i];
    const std::string range = name + " va de " + std::to_string(low) + " a " + std::to_string(high);
    if (i + 1 >= arguments.size()) {
      Complain(options, "falta el número tras " + name + " (" + range + ")");
    } else if (!ReadNumber(arguments[++i], low, high, number)) {
      Complain(options, "\"" + arguments[i] + "\" no vale: " + range);
    }
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "-h" || argument == "--help") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument == "--minimal") {
      options.search.minimal = true;
    } else if (argument == "--transactions") {
      numberOption(i, 2, kMostTransactions, sizes.transactions);
    } else if (argument == "--items") {
      numberOption(i, 1, kMostItems, sizes.items);
    } else if (argument == "--operations") {
      operationsGiven = true;
      numberOption(i, 1, kMostOperations, sizes.operations);
    } else if (argument == "--count") {
      numberOption(i, 1, kMostCount, options.search.count);
    } else if (argument == "--seed") {
      if (i + 1 < arguments.size()) {
        options.seedGiven = true;
        options.seed = arguments[++i];
      } else {
        Complain(options, "falta el texto de la semilla tras --seed");
      }
    } else if (argument == "--property") {
      if (i + 1 >= arguments.size()) {
        Complain(options, "faltan las propiedades tras --property");
        continue;
      }
      Request more;
      const std::string problem = ParseRequest(arguments[++i], more);
      if (!problem.empty()) {
        Complain(options, problem);
      }
      options.search.request.wanted |= more.wanted;
      options.search.request.unwanted |= more.unwanted;
    } else {
      Complain(options, "argumento desconocido \"" + argument + "\"");
    }
  }
  if (!operationsGiven) {
    sizes.operations = 3 * sizes.transactions;
  } else if (sizes.operations < sizes.transactions) {
    Complain(options,
             "--operations no puede ser menor que --transactions: cada transacción lee o "
             "escribe al menos una vez");
  }
  return options;
}

}  // namespace tosim::generator
