// What a teacher can ask of a generated plan: a property, or its absence ("no-csr"), each defined
// by what tosim-report --json --protocols --each-plan-alone says of the plan (README, tosim-gen).
// Pure: names, the command line's list, and the rules that make some combinations impossible.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tosim::generator {

enum class Property : std::uint8_t {
  Thomas,                    // skipped_writes is not empty
  ToRejects,                 // protocols.to aborts a transaction with cause "rejected"
  Cascade,                   // cascading is not empty
  Csr,                       // conflict_serializable
  VsrNotCsr,                 // view_serializable and not conflict_serializable
  Vsr,                       // view_serializable
  Recoverable,               // recoverable
  Cascadeless,               // cascadeless
  Strict,                    // strict
  RcNotAca,                  // recoverable and not cascadeless
  AcaNotStrict,              // cascadeless and not strict
  Deadlock,                  // protocols.2pl.deadlocks is not empty
  Dies,                      // protocols.wait_die aborts a transaction with cause "died"
  Wounds,                    // protocols.wound_wait aborts a transaction with cause "wounded"
  OccFails,                  // protocols.occ aborts a transaction with cause "validation"
  StrictToWaits,             // some step of protocols.strict_to is delayed
  MvtoSaves,                 // a transaction rejected under to is committed under mvto
  LevelRc,                   // isolation.level is "read_committed"
  GSingle,                   // isolation.anomalies holds G-single
  WriteSkew,                 // isolation.phenomena holds A5B
  LostUpdate,                // isolation.phenomena holds P4
  SiCommitsNotSerializable,  // protocols.si commits every transaction and its order is null
};
inline constexpr int kPropertyCount = 22;

// A set of properties: bit p for Property p.
using PropertySet = std::uint32_t;
inline constexpr PropertySet kAllProperties = (PropertySet{1} << kPropertyCount) - 1;

constexpr PropertySet Bit(Property property) {
  return PropertySet{1} << static_cast<int>(property);
}

// The name on the command line: "thomas", "to-rejects", "vsr-not-csr", ...
[[nodiscard]] std::string_view PropertyName(Property property);

// What is asked: the properties a plan must have and those it must not have.
struct Request {
  PropertySet wanted = 0;
  PropertySet unwanted = 0;

  [[nodiscard]] bool HeldBy(PropertySet properties) const {
    return (properties & wanted) == wanted && (properties & unwanted) == 0;
  }
  // How many of the asked properties `properties` gets right.
  [[nodiscard]] int Met(PropertySet properties) const;
};

// Reads "thomas,no-csr" (names separated by commas, each maybe with "no-") into `request`.
// Returns an empty string, or what is wrong with the list, in Spanish.
[[nodiscard]] std::string ParseRequest(std::string_view list, Request& request);

// The request in the command line's words: "thomas, no-csr".
[[nodiscard]] std::string RequestText(const Request& request);

// Why no plan tosim-gen makes can have everything `request` asks for: one Spanish sentence per
// rule needed to see it (README, tosim-gen, lists the rules and their proofs); empty when the
// rules allow the combination. The rules hold for every plan tosim-gen makes: well-formed, each
// transaction begun before its operations and ended by its last one.
[[nodiscard]] std::vector<std::string_view> Contradiction(const Request& request);

}  // namespace tosim::generator
