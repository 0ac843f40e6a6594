#include "run.h"

namespace tosim {

Fragment OperationLabel(const Operation& operation) {
  Fragment label;
  switch (operation.kind) {
    case OpKind::Validate:
      label << "Validar T" << operation.number;
      break;
    case OpKind::Abort:
      label << "Abortar T" << operation.number;
      break;
    case OpKind::Read:
      label << 'T' << operation.number << "_Read(" << operation.item << ')';
      break;
    case OpKind::Write:
      label << 'T' << operation.number << "_Write(" << operation.item << ')';
      break;
    case OpKind::Begin:
      label << "Iniciar T" << operation.number;
      break;
    case OpKind::Plan:
      label << "Iniciar P" << operation.number;
      break;
    case OpKind::Illegal:
      label << "operaci\xF3n ilegal";
      break;
    case OpKind::EndOfPlan:
      break;
  }
  return label;
}

}  // namespace tosim
