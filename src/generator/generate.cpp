#include "generator/generate.h"

#include "generator/random.h"
#include "generator/search.h"

namespace tosim::generator {

namespace {

std::string Bounds(const Sizes& sizes) {
  return std::to_string(sizes.transactions) + " transacciones, " + std::to_string(sizes.items) +
         (sizes.items == 1 ? " elemento" : " elementos") + " y hasta " +
         std::to_string(sizes.operations) + " lecturas y escrituras";
}

}  // namespace

Generation Generate(const Options& options, std::string_view clockSeed) {
  Generation generation;
  SearchRequest search = options.search;
  const std::string asked = RequestText(search.request);
  if (const auto reasons = Contradiction(search.request); !reasons.empty()) {
    generation.status = kRefused;
    generation.problem = "ningún plan puede ser a la vez " + asked + ": ";
    for (std::size_t i = 0; i < reasons.size(); ++i) {
      generation.problem += i == 0 ? "" : "; ";
      generation.problem += reasons[i];
    }
    return generation;
  }
  const std::string seed = options.seedGiven ? options.seed : std::string(clockSeed);
  if (!options.seedGiven) {
    generation.seedNote = "semilla " + seed + " (la repite --seed " + seed + ")";
  }
  search.seed = SeedOf(seed);
  const SearchResult result = Search(search);
  const int found = static_cast<int>(result.plans.size());
  if (found < search.count) {
    const std::string with = asked.empty() ? "" : " con " + asked;
    const std::string tries = " en " + std::to_string(kTriesPerPlan) + " intentos, con " +
                              Bounds(search.sizes) + (search.minimal ? ", mínimos" : "") +
                              " (más transacciones, elementos u operaciones pueden bastar)";
    generation.status = kNotFound;
    generation.problem = found == 0 ? "no se encontró ningún plan" + with + tries
                                    : "solo se encontraron " + std::to_string(found) +
                                          " planes distintos" + with + " de los " +
                                          std::to_string(search.count) +
                                          " pedidos: el siguiente no apareció" + tries;
    return generation;
  }
  for (int i = 0; i < found; ++i) {
    generation.plans += PlanText(result.plans[i], i + 1);
    generation.plans += "\r\n";
  }
  return generation;
}

}  // namespace tosim::generator
