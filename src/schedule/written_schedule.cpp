#include "schedule/written_schedule.h"

namespace tosim {

bool WrittenSchedule::Add(const Operation& operation) {
  switch (operation.kind) {
    case OpKind::Read:
    case OpKind::Write:
      if (operation.item < 'A' || operation.item > 'Z') {
        return false;
      }
      break;
    case OpKind::Begin:
    case OpKind::Validate:
    case OpKind::Abort:
      break;
    default:
      return false;
  }
  const std::int32_t t = operation.number;
  if (t < kFirstTransaction || t > kLastTransaction || ended_.Contains(t)) {
    return false;
  }
  if (operation.kind == OpKind::Validate || operation.kind == OpKind::Abort) {
    ended_.Insert(t);
  }
  return true;
}

}  // namespace tosim
