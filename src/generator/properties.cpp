#include "generator/properties.h"

#include <bit>

namespace tosim::generator {

namespace {

constexpr std::string_view kNames[kPropertyCount] = {
    "thomas",         "to-rejects",
    "cascade",        "csr",
    "vsr-not-csr",    "vsr",
    "recoverable",    "cascadeless",
    "strict",         "rc-not-aca",
    "aca-not-strict", "deadlock",
    "dies",           "wounds",
    "occ-fails",      "strict-to-waits",
    "mvto-saves",     "level-rc",
    "g-single",       "write-skew",
    "lost-update",    "si-commits-not-serializable"};

constexpr std::string_view kNegation = "no-";

constexpr PropertySet B(Property property) {
  return Bit(property);
}

// One rule: in every plan tosim-gen makes, some property of `some` holds or some property of
// `notAll` does not. README (tosim-gen) proves each.
struct Rule {
  PropertySet some;
  PropertySet notAll;
  std::string_view why;
};

using P = Property;

constexpr Rule kRules[] = {
    {B(P::Cascadeless), B(P::Strict),
     "strict implica cascadeless: en un plan estricto nadie lee un elemento que otra transacción "
     "escribió antes de validarse o abortar, así que quien lee de otra lo hace cuando ya se "
     "validó"},
    {B(P::Recoverable), B(P::Cascadeless),
     "cascadeless implica recoverable: quien lee de otra transacción lo hace cuando esta ya se "
     "validó, así que se valida después de ella"},
    {B(P::Vsr), B(P::Csr),
     "csr implica vsr: en el orden de su grafo de precedencia cada lectura lee de la misma "
     "escritura y cada elemento tiene la misma última escritura"},
    {B(P::Vsr), B(P::VsrNotCsr), "vsr-not-csr es vsr y no csr"},
    {0, B(P::VsrNotCsr) | B(P::Csr), "vsr-not-csr es vsr y no csr"},
    {B(P::Csr) | B(P::VsrNotCsr), B(P::Vsr), "vsr-not-csr es vsr y no csr"},
    {B(P::Recoverable), B(P::RcNotAca), "rc-not-aca es recoverable y no cascadeless"},
    {0, B(P::RcNotAca) | B(P::Cascadeless), "rc-not-aca es recoverable y no cascadeless"},
    {B(P::Cascadeless) | B(P::RcNotAca), B(P::Recoverable),
     "rc-not-aca es recoverable y no cascadeless"},
    {B(P::Cascadeless), B(P::AcaNotStrict), "aca-not-strict es cascadeless y no strict"},
    {0, B(P::AcaNotStrict) | B(P::Strict), "aca-not-strict es cascadeless y no strict"},
    {B(P::Strict) | B(P::AcaNotStrict), B(P::Cascadeless),
     "aca-not-strict es cascadeless y no strict"},
    {B(P::ToRejects), B(P::MvtoSaves),
     "mvto-saves pide una transacción que to rechaza, así que implica to-rejects"},
    {B(P::ToRejects) | B(P::Thomas) | B(P::Csr), 0,
     "si la ordenación por marcas de tiempo no rechaza ni ignora ninguna operación (no-to-rejects "
     "y no-thomas), cada conflicto va de la transacción más vieja a la más joven y el grafo de "
     "precedencia no tiene ciclos (csr)"},
    {0, B(P::StrictToWaits) | B(P::Strict),
     "strict-to-waits implica no-strict: strict_to solo hace esperar a quien lee o escribe un "
     "elemento que escribió otra transacción aún activa"},
    {0, B(P::GSingle) | B(P::Csr),
     "g-single implica no-csr: cada arista del grafo de dependencias es también una arista del "
     "grafo de precedencia, así que su ciclo es un ciclo de este"},
    {0, B(P::LevelRc) | B(P::Csr),
     "level-rc implica no-csr: un plan de lectura confirmada y no serializable tiene un ciclo en "
     "el grafo de dependencias, que lo es también del grafo de precedencia"},
    {0, B(P::WriteSkew) | B(P::Csr),
     "write-skew implica no-csr: Ti lee x antes de que Tj lo escriba y Tj lee y antes de que Ti "
     "lo escriba, y las dos se validan: un ciclo en el grafo de precedencia"},
    {B(P::ToRejects), B(P::WriteSkew),
     "write-skew implica to-rejects: las dos lecturas van antes que las dos escrituras, así que "
     "la más vieja escribe lo que ya leyó la más joven"},
    {B(P::OccFails), B(P::WriteSkew),
     "write-skew implica occ-fails: la primera que se valida escribió algo que la otra leyó "
     "después de empezar"},
    {B(P::OccFails), B(P::SiCommitsNotSerializable),
     "si-commits-not-serializable implica occ-fails: sin fallos de occ, cada arista del orden "
     "de si iría de una validación a otra posterior"},
    {0, B(P::SiCommitsNotSerializable) | B(P::Thomas),
     "si-commits-not-serializable implica no-thomas: la escritura que ignora la regla de Thomas "
     "y la de la transacción más joven se solapan, y si rechaza a una de las dos"},
    {0, B(P::SiCommitsNotSerializable) | B(P::LostUpdate),
     "si-commits-not-serializable implica no-lost-update: las dos transacciones que escriben x "
     "se solapan, y si rechaza a una de las dos"},
    {0, B(P::SiCommitsNotSerializable) | B(P::AcaNotStrict),
     "si-commits-not-serializable implica no-aca-not-strict: sin abortos en cascada y no "
     "estricto, alguien escribe un elemento que otra transacción activa ya escribió, y si "
     "rechaza a una de las dos"},
};
constexpr int kRuleCount = static_cast<int>(std::size(kRules));

bool Holds(const Rule& rule, PropertySet properties) {
  return (properties & rule.some) != 0 || (properties & rule.notAll) != rule.notAll;
}

// The properties some rule names: the others cannot make a request impossible.
constexpr PropertySet kRuled = [] {
  PropertySet ruled = 0;
  for (const Rule& rule : kRules) {
    ruled |= rule.some | rule.notAll;
  }
  return ruled;
}();

// Whether some set of properties has everything `request` asks for and keeps the rules of
// `rules` (bit i for kRules[i]).
bool Satisfiable(const Request& request, std::uint32_t rules) {
  const PropertySet free = kRuled & ~(request.wanted | request.unwanted);
  // Every subset of the free properties, the asked ones fixed.
  for (PropertySet subset = free;; subset = (subset - 1) & free) {
    const PropertySet properties = request.wanted | subset;
    bool all = true;
    for (int i = 0; i < kRuleCount && all; ++i) {
      all = (rules & (1u << i)) == 0 || Holds(kRules[i], properties);
    }
    if (all) {
      return true;
    }
    if (subset == 0) {
      return false;
    }
  }
}

}  // namespace

std::string_view PropertyName(Property property) {
  return kNames[static_cast<int>(property)];
}

int Request::Met(PropertySet properties) const {
  return std::popcount(properties & wanted) + std::popcount(~properties & unwanted);
}

std::string ParseRequest(std::string_view list, Request& request) {
  request = {};
  for (std::size_t at = 0; at <= list.size();) {
    std::size_t comma = list.find(',', at);
    if (comma == std::string_view::npos) {
      comma = list.size();
    }
    std::string_view name = list.substr(at, comma - at);
    at = comma + 1;
    const bool negated = name.starts_with(kNegation);
    if (negated) {
      name.remove_prefix(kNegation.size());
    }
    int found = -1;
    for (int p = 0; p < kPropertyCount; ++p) {
      if (kNames[p] == name) {
        found = p;
      }
    }
    if (found < 0) {
      std::string names;
      for (const std::string_view known : kNames) {
        names += names.empty() ? "" : ", ";
        names += known;
      }
      return "propiedad desconocida \"" + std::string(negated ? kNegation : "") +
             std::string(name) + "\" (las propiedades: " + names + ", y cada una con no- delante)";
    }
    (negated ? request.unwanted : request.wanted) |= PropertySet{1} << found;
  }
  return {};
}

std::string RequestText(const Request& request) {
  std::string text;
  for (int p = 0; p < kPropertyCount; ++p) {
    const PropertySet bit = PropertySet{1} << p;
    for (const bool negated : {false, true}) {
      if (((negated ? request.unwanted : request.wanted) & bit) != 0) {
        text += text.empty() ? "" : ", ";
        text += negated ? kNegation : "";
        text += kNames[p];
      }
    }
  }
  return text;
}

std::vector<std::string_view> Contradiction(const Request& request) {
  std::vector<std::string_view> reasons;
  if ((request.wanted & request.unwanted) != 0) {
    reasons.push_back("se pide una propiedad y su negación a la vez");
    return reasons;
  }
  std::uint32_t rules = (1u << kRuleCount) - 1;
  if (Satisfiable(request, rules)) {
    return reasons;
  }
  // The fewest rules that still rule it out, dropped one at a time in the table's order.
  for (int i = 0; i < kRuleCount; ++i) {
    if (!Satisfiable(request, rules & ~(1u << i))) {
      rules &= ~(1u << i);
    }
  }
  for (int i = 0; i < kRuleCount; ++i) {
    if ((rules & (1u << i)) != 0 && (reasons.empty() || reasons.back() != kRules[i].why)) {
      reasons.push_back(kRules[i].why);
    }
  }
  return reasons;
}

}  // namespace tosim::generator
