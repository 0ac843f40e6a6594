#include "report/report_labels.h"

#include <array>
#include <cstddef>

#include "report/json_writing.h"
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
    {Label::DecisionExecuted, "decision.executed", "ejecutada"},
    {Label::DecisionRejected, "decision.rejected", "rechazada: su transacción aborta"},
    {Label::DecisionSkipped, "decision.skipped", "ignorada por la regla de Thomas"},
    {Label::DecisionAborted, "decision.aborted", "abortada"},
    {Label::DecisionCommitted, "decision.committed", "validada"},
    {Label::DecisionBegun, "decision.begun", "iniciada"},
    {Label::DecisionError, "decision.error", "error en el plan"},
    {Label::WhyBegin, "why.begin",
     "T{t} empieza: el contador le da la marca de tiempo siguiente, TS(T{t})={ts}"},
    {Label::WhyAlreadyBegun, "why.already_begun",
     "T{t} ya había empezado en este plan y una transacción empieza una sola vez: el inicio se "
     "rechaza y no cambia nada"},
    {Label::WhyTransactionOutOfRange, "why.transaction_out_of_range",
     "las transacciones van de T1 a T10 y T{t} no es ninguna de ellas: no se inicia"},
    {Label::WhyCommit, "why.commit",
     "T{t} está activa, así que se valida: validar no comprueba nada más"},
    {Label::WhyAbort, "why.abort",
     "T{t} está activa y el plan la aborta; el aborto no deshace las marcas de tiempo que puso"},
    {Label::WhyNotActiveInactive, "why.not_active.inactive",
     "T{t} no ha empezado en este plan: solo se valida o se aborta una transacción activa"},
    {Label::WhyNotActiveCommitted, "why.not_active.committed",
     "T{t} ya se había validado: solo se valida o se aborta una transacción activa"},
    {Label::WhyNotActiveAborted, "why.not_active.aborted",
     "T{t} ya había abortado: solo se valida o se aborta una transacción activa"},
    {Label::WhyNotActiveOutOfRange, "why.not_active.out_of_range",
     "las transacciones van de T1 a T10 y T{t} no es ninguna de ellas: no hay nada que validar "
     "ni abortar"},
    {Label::WhyAccessNotActiveInactive, "why.access_not_active.inactive",
     "T{t} no ha empezado en este plan: solo una transacción activa lee y escribe"},
    {Label::WhyAccessNotActiveCommitted, "why.access_not_active.committed",
     "T{t} ya se había validado: solo una transacción activa lee y escribe"},
    {Label::WhyAccessNotActiveAborted, "why.access_not_active.aborted",
     "T{t} ya había abortado: solo una transacción activa lee y escribe"},
    {Label::WhyAccessNotActiveOutOfRange, "why.access_not_active.out_of_range",
     "las transacciones van de T1 a T10 y T{t} no es ninguna de ellas: no lee ni escribe"},
    {Label::WhyItemOutOfRange, "why.item_out_of_range",
     "la operación no nombra un elemento de la A a la Z: no se lee ni se escribe nada"},
    {Label::WhyRead, "why.read",
     "TS(T{t})={ts} ≥ TS_escr({x})={escr}: ninguna transacción más joven ha escrito {x}, así "
     "que T{t} lee {x} y TS_lect({x}) pasa de {before} a {lect}"},
    {Label::WhyReadKept, "why.read.kept",
     "TS(T{t})={ts} ≥ TS_escr({x})={escr}: ninguna transacción más joven ha escrito {x}, así "
     "que T{t} lee {x}; TS_lect({x}) sigue en {lect}, que no es menor que TS(T{t})"},
    {Label::WhyReadTooLate, "why.read_too_late",
     "TS(T{t})={ts} < TS_escr({x})={escr}: una transacción más joven ya escribió {x}, así que "
     "la lectura llega tarde y T{t} aborta"},
    {Label::WhyWrite, "why.write",
     "TS(T{t})={ts} ≥ TS_lect({x})={lect} y TS(T{t})={ts} ≥ TS_escr({x})={before}: T{t} "
     "escribe {x} y TS_escr({x}) pasa a {escr}"},
    {Label::WhyWriteTooLate, "why.write_too_late",
     "TS(T{t})={ts} < TS_lect({x})={lect}: una transacción más joven ya leyó {x}, así que la "
     "escritura llega tarde y T{t} aborta"},
    {Label::WhyThomas, "why.thomas",
     "TS(T{t})={ts} ≥ TS_lect({x})={lect} pero TS(T{t})={ts} < TS_escr({x})={escr}: una "
     "transacción más joven ya escribió {x}, así que esta escritura está obsoleta y se ignora "
     "(regla de Thomas); T{t} sigue activa"},
    {Label::WhyObsoleteWrite, "why.obsolete_write",
     "TS(T{t})={ts} < TS_escr({x})={escr}: una transacción más joven ya escribió {x}; sin la "
     "regla de Thomas la escritura obsoleta se rechaza y T{t} aborta"},
    {Label::WhyIllegalOperation, "why.illegal_operation",
     "no es una operación: cada operación empieza con P, T, R, W, C o A"},
    {Label::WhyNumberExpected, "why.number_expected",
     "falta el número de la transacción, o no es mayor que 0: la operación no se pudo leer entera "
     "y el planificador la rechaza"},
    {Label::WhyOpenExpected, "why.open_expected",
     "falta el «(» antes del elemento: la operación no se pudo leer entera y el planificador la "
     "rechaza"},
    {Label::WhyLetterExpected, "why.letter_expected",
     "tras «(» se esperaba la letra del elemento, de la A a la Z: la operación no se pudo leer "
     "entera y el planificador la rechaza"},
    {Label::LabHeading, "lab.heading", "Protocolos"},
    {Label::LabOperation, "lab.operation", "Operación"},
    {Label::StepExecuted, "step.executed", "ejecutada"},
    {Label::StepSkipped, "step.skipped", "ignorada (Thomas)"},
    {Label::StepRejected, "step.rejected", "rechazada"},
    {Label::StepRejectedDied, "step.rejected.died", "muere"},
    {Label::StepRejectedValidation, "step.rejected.validation", "validación fallida"},
    {Label::StepIgnored, "step.ignored", "ignorada"},
    {Label::StepPending, "step.pending", "pendiente"},
    {Label::StepDropped, "step.dropped", "descartada"},
    {Label::StepDroppedVictim, "step.dropped.victim", "víctima"},
    {Label::StepDroppedWounded, "step.dropped.wounded", "herida"},
    {Label::StepWaits, "step.waits", "espera a"},
    {Label::StepQueued, "step.queued", "en cola"},
    {Label::StepThen, "step.then", "→"},
    {Label::CauseAbort, "cause.abort", "abortada"},
    {Label::CauseRejected, "cause.rejected", "rechazada"},
    {Label::CauseCascade, "cause.cascade", "en cascada"},
    {Label::CauseVictim, "cause.victim", "víctima"},
    {Label::CauseDied, "cause.died", "muere"},
    {Label::CauseWounded, "cause.wounded", "herida"},
    {Label::CauseValidation, "cause.validation", "validación fallida"},
    {Label::LabHistory, "lab.history", "historia"},
    {Label::LabHistoryNone, "lab.history.none", "vacía"},
    {Label::LabCommitted, "lab.committed", "validadas"},
    {Label::LabCommittedNone, "lab.committed.none", "ninguna"},
    {Label::LabAborted, "lab.aborted", "abortadas"},
    {Label::LabAbortedNone, "lab.aborted.none", "ninguna"},
    {Label::LabWaiting, "lab.waiting", "en espera"},
    {Label::LabActive, "lab.active", "activas"},
    {Label::LabUnrecoverable, "lab.unrecoverable", "irrecuperables"},
    {Label::LabDeadlocks, "lab.deadlocks", "interbloqueos"},
    {Label::LabDeadlocksNone, "lab.deadlocks.none", "ninguno"},
    {Label::LabVictim, "lab.victim", "víctima"},
    {Label::LabOrder, "lab.order", "orden serie"},
    {Label::LabOrderNone, "lab.order.none", "no hay (ciclo)"},
    {Label::LabOrderEmpty, "lab.order.empty", "vacío"},
    {Label::QuizAlone, "quiz.alone",
     "El plan va solo, como si fuera la única línea de su fichero: sus marcas de tiempo empiezan "
     "en 1."},
    {Label::QuizOperations, "quiz.operations",
     "Para cada operación, lo que decide la ordenación por marcas de tiempo con la regla de "
     "Thomas y, tras cada lectura o escritura de una transacción activa, TS_lect y TS_escr del "
     "elemento:"},
    {Label::QuizDecision, "quiz.decision", "Decisión"},
    {Label::QuizTsLect, "quiz.ts_lect", "TS_lect después"},
    {Label::QuizTsEscr, "quiz.ts_escr", "TS_escr después"},
    {Label::QuizFates, "quiz.fates", "Al final del plan, cada transacción está"},
    {Label::QuizActive, "quiz.active", "activa"},
    {Label::QuizUnreadable, "quiz.unreadable", "(ilegible)"},
    {Label::CheckOf, "check.of", "de"},
    {Label::CheckWrong, "check.wrong", "mal"},
    {Label::CheckConsistent, "check.consistent", "coherente"},
    {Label::CheckUnanswered, "check.unanswered", "sin respuestas"},
    {Label::CheckTotal, "check.total", "Total"},
    {Label::CheckGiven, "check.given", "dice"},
    {Label::CheckExpected, "check.expected", "es"},
    {Label::CheckNull, "check.null", "nada"},
    {Label::CheckDecision, "check.decision", "decisión"},
    {Label::CheckTsLect, "check.ts_lect", "TS_lect"},
    {Label::CheckTsEscr, "check.ts_escr", "TS_escr"},
    {Label::CheckTimestamp, "check.timestamp", "marca de tiempo"},
    {Label::CheckNo, "check.no", "No"},
    {Label::CheckFollows, "check.follows", "Coherente con sus respuestas anteriores"},
    {Label::CheckWithYours, "check.with_yours", "con sus valores anteriores"},
    {Label::CheckWithRun, "check.with_run", "en la ejecución"},
    {Label::CheckOwnDecision, "check.own_decision",
     "sigue de su decisión en esta fila, «{decision}»"},
    {Label::CheckMissing, "check.missing", "falta {item}"},
    {Label::CheckExtra, "check.extra", "sobra {item}"},
    {Label::CheckNotBegun, "check.not_begun", "T{t} no empieza en este plan"},
    {Label::CheckNotEnded, "check.not_ended", "T{t} no se valida ni aborta en la ejecución"},
    {Label::CheckNotInPlan, "check.not_in_plan", "no es una escritura del plan"},
    {Label::CheckConflictYes, "check.conflict.yes",
     "el grafo de precedencia no tiene ciclos; un orden en serie: {order}"},
    {Label::CheckConflictNo, "check.conflict.no", "el grafo de precedencia tiene el ciclo {cycle}"},
    {Label::CheckNotAnOrder, "check.not_an_order",
     "un orden en serie pone una vez cada transacción que no aborta en el plan: {list}"},
    {Label::CheckEdgeAgainst, "check.edge_against",
     "el orden pone T{t} antes que T{u}, pero el grafo de precedencia tiene la arista T{u} → T{t}"},
    {Label::CheckNotACycle, "check.not_a_cycle",
     "un ciclo empieza y acaba en la misma transacción y pasa por dos o más sin repetir ninguna"},
    {Label::CheckNotAnEdge, "check.not_an_edge",
     "T{t} → T{u} no es una arista del grafo de precedencia"},
    {Label::CheckFollowsVerdict, "check.follows_verdict",
     "Coherente con su respuesta «{answer}» a si es serializable"},
    {Label::CheckViewYes, "check.view.yes",
     "el orden en serie {order} es equivalente en vistas al plan"},
    {Label::CheckViewNo, "check.view.no",
     "ningún orden en serie de las transacciones que no abortan es equivalente en vistas al plan"},
    {Label::CheckViewRead, "check.view.read",
     "en el plan, {op} (operación {p}) lee {source}; en ese orden lee {other}"},
    {Label::CheckViewFinal, "check.view.final",
     "en el plan, la última escritura de {x} es {source}; en ese orden es {other}"},
    {Label::CheckViewWrite, "check.view.write", "{op} (operación {p})"},
    {Label::CheckViewInitial, "check.view.initial", "el valor inicial"},
    {Label::CheckRecoverableYes, "check.recoverable.yes",
     "ninguna transacción se valida antes que otra de la que leyó"},
    {Label::CheckRecoverableNo, "check.recoverable.no",
     "T{t} lee {x} de T{u} y se valida (operación {p}) antes que T{u}"},
    {Label::CheckCascadelessYes, "check.cascadeless.yes",
     "ninguna transacción lee de otra que aún no se ha validado"},
    {Label::CheckCascadelessNo, "check.cascadeless.no",
     "T{t} lee {x} de T{u} (operación {p}) antes de que T{u} se valide"},
    {Label::CheckStrictYes, "check.strict.yes",
     "ninguna transacción lee ni escribe un elemento que otra escribió y aún no ha validado ni "
     "abortado"},
    {Label::CheckStrictNo, "check.strict.no",
     "T{t} lee o escribe {x} (operación {p}) cuando T{u} lo había escrito y aún no había validado "
     "ni abortado"},
    {Label::CheckProtocolStep, "check.protocol_step", "en {protocol}, {op} queda «{cell}»: {why}"},
    {Label::StepWounds, "step.wounds", "hiere a"},
    {Label::LabWhyBegin, "lab.why.begin", "T{t} empieza con TS(T{t})={ts}"},
    {Label::LabWhyBeginAgain, "lab.why.begin_again",
     "T{t} ya había empezado en este plan: este inicio se ignora"},
    {Label::LabWhyNotActiveInactive, "lab.why.not_active.inactive",
     "T{t} no ha empezado en este plan: la operación se ignora"},
    {Label::LabWhyNotActiveCommitted, "lab.why.not_active.committed",
     "T{t} ya se había validado: la operación se ignora"},
    {Label::LabWhyNotActiveAborted, "lab.why.not_active.aborted",
     "T{t} ya había abortado: la operación se ignora"},
    {Label::LabWhyCommit, "lab.why.commit", "T{t} está activa y se valida"},
    {Label::LabWhyAbort, "lab.why.abort", "el plan aborta T{t}"},
    {Label::LabWhyDropped, "lab.why.dropped",
     "T{t} aborta ({cause}) antes de que la operación salga de su cola: se descarta"},
    {Label::LabWhyPending, "lab.why.pending",
     "al acabar el plan la operación sigue en la cola de T{t}, detrás de una que espera"},
    {Label::LabWhyQueued, "lab.why.queued",
     "la operación espera en la cola de T{t}, detrás de otra suya que espera; luego"},
    {Label::LabWhyWaited, "lab.why.waited", "T{t} espera a {others}; luego"},
    {Label::LabWhyWounds, "lab.why.wounds",
     "T{t} hiere a {others}: con wound-wait, toda transacción más joven en conflicto por {x} "
     "aborta"},
    {Label::LabWhyStrictReadTooLate, "lab.why.strict.read_too_late",
     "TS(T{t})={ts} < WTS({x})={a}: {u}, más joven, ya escribió {x}, así que la lectura llega "
     "tarde y T{t} aborta"},
    {Label::LabWhyStrictWriteTooLateRead, "lab.why.strict.write_too_late.read",
     "TS(T{t})={ts} < RTS({x})={b}: una transacción más joven ya leyó {x}, así que la escritura "
     "llega tarde y T{t} aborta"},
    {Label::LabWhyStrictWriteTooLateWrite, "lab.why.strict.write_too_late.write",
     "TS(T{t})={ts} < WTS({x})={a}: {u}, más joven, ya escribió {x}, así que la escritura llega "
     "tarde y T{t} aborta"},
    {Label::LabWhyStrictWaits, "lab.why.strict.waits",
     "{u} escribió {x} la última y aún no ha validado ni abortado: T{t} espera a que termine"},
    {Label::LabWhyStrictRead, "lab.why.strict.read",
     "TS(T{t})={ts} ≥ WTS({x})={a} y ninguna otra transacción activa escribió {x} la última: T{t} "
     "lee {x}"},
    {Label::LabWhyStrictWrite, "lab.why.strict.write",
     "TS(T{t})={ts} ≥ RTS({x})={b}, TS(T{t})={ts} ≥ WTS({x})={a} y ninguna otra transacción activa "
     "escribió {x} la última: T{t} escribe {x}"},
    {Label::LabWhyVersion, "lab.why.version", "de {u} (WTS={a})"},
    {Label::LabWhyVersionInitial, "lab.why.version.initial", "inicial"},
    {Label::LabWhyVersionRead, "lab.why.mvto.read",
     "T{t} lee la versión {version} de {x}, la de mayor WTS que no pasa de TS(T{t})={ts}"},
    {Label::LabWhyVersionTooLate, "lab.why.mvto.too_late",
     "la versión {version} de {x}, la que T{t} vería, ya la leyó una transacción con TS={b} > "
     "TS(T{t})={ts}: la escritura llega tarde y T{t} aborta"},
    {Label::LabWhyVersionWrite, "lab.why.mvto.write",
     "ninguna transacción más joven que T{t} leyó la versión {version} de {x} (su R-TS es {b}): "
     "T{t} crea su versión de {x}, con WTS={ts}"},
    {Label::LabLockShared, "lab.lock.shared", "compartido (S)"},
    {Label::LabLockExclusive, "lab.lock.exclusive", "exclusivo (X)"},
    {Label::LabWhyLockGranted, "lab.why.lock.granted", "T{t} obtiene el bloqueo {lock} de {x}"},
    {Label::LabWhyLockHeld, "lab.why.lock.held", "T{t} tiene ya el bloqueo {lock} de {x}"},
    {Label::LabWhyLockWaits, "lab.why.lock.waits",
     "el bloqueo {lock} de {x} choca con el de {others}, concedido o pedido antes: T{t} espera"},
    {Label::LabWhyLockDies, "lab.why.lock.dies",
     "el bloqueo {lock} de {x} choca con el de {others}, y alguna es más vieja que T{t}: con "
     "wait-die, T{t} muere en vez de esperar"},
    {Label::LabWhyOccReadOwn, "lab.why.occ.read.own", "T{t} lee {x} de su propia escritura"},
    {Label::LabWhyOccReadCommitted, "lab.why.occ.read.committed",
     "T{t} lee {x} de la última escritura validada, la de {u}"},
    {Label::LabWhyOccReadInitial, "lab.why.occ.read.initial",
     "T{t} lee el valor inicial de {x}: ninguna escritura de {x} se ha validado"},
    {Label::LabWhyOccWrite, "lab.why.occ.write",
     "T{t} escribe {x} en su espacio de trabajo: llega a la historia cuando T{t} se valida"},
    {Label::LabWhyOccWriteLost, "lab.why.occ.write_lost",
     "T{t} escribe {x} en su espacio de trabajo, pero no pasa la validación: esta escritura nunca "
     "llega a la historia"},
    {Label::LabWhyOccValidated, "lab.why.occ.validated",
     "ninguna transacción validada desde que T{t} empezó escribió algo que T{t} leyó: T{t} se "
     "valida y sus escrituras entran en la historia"},
    {Label::LabWhyOccFails, "lab.why.occ.fails",
     "{u} se validó después de que T{t} empezara y escribió {x}, que T{t} leyó: la validación "
     "falla y T{t} aborta"},
    {Label::PracticeIntro, "practice.intro",
     "Rellene las casillas y pulse «Comprobar» (o Intro en una casilla): cada una queda bien, mal, "
     "o coherente con sus respuestas anteriores, con la regla que la decide. Una casilla vacía no "
     "se corrige."},
    {Label::PracticeCheck, "practice.check", "Comprobar"},
    {Label::PracticeSolution, "practice.solution", "Ver la solución"},
    {Label::PracticeSolutionHide, "practice.solution.hide", "Ocultar la solución"},
    {Label::PracticeScore, "practice.score", "Puntuación"},
    {Label::PracticeTotal, "practice.total", "Puntuación de la página"},
    {Label::PracticeReview, "practice.review", "Casillas por revisar"},
    {Label::PracticeRight, "practice.right", "bien"},
    {Label::PracticeTimestamps, "practice.timestamps", "Marca de tiempo de cada transacción"},
    {Label::PracticeRun, "practice.run", "La ejecución, operación por operación"},
    {Label::PracticeWritten, "practice.written", "El plan tal como está escrito"},
    {Label::PracticeOrderOrCycle, "practice.order_or_cycle", "orden (si lo es) o ciclo (si no)"},
    {Label::PracticeViewOrder, "practice.view_order", "orden (si lo es)"},
    {Label::PracticeTransactionsHint, "practice.transactions.hint", "por ejemplo: T1, T3"},
    {Label::PracticeWritesHint, "practice.writes.hint", "por ejemplo: W1(A), W2(B)"},
    {Label::PracticeProtocol, "practice.protocol", "Practicar también un protocolo"},
    {Label::PracticeProtocolNone, "practice.protocol.none", "ninguno"},
    {Label::PracticeResult, "practice.result", "resultado"},
    {Label::PracticeCounter, "practice.counter",
     "El contador de marcas de tiempo está en {counter} al empezar este plan."},
    {Label::PracticeCounterOne, "practice.counter.one",
     "Las marcas de tiempo de este plan empiezan en 1."},
    {Label::PracticeIllegal, "practice.illegal", "el lector no pudo leerla entera"},
    {Label::SheetProtocolQuestion, "sheet.protocol_question",
     "Complete la tabla de {protocol}: lo que hace el protocolo con cada operación del plan tal "
     "como está escrito (ejecutada, espera a…, en cola, rechazada, muere, validación fallida, "
     "ignorada, descartada, pendiente)."},
    {Label::IsolationHeading, "isolation", "Aislamiento"},
    {Label::IsolationLevel, "isolation.level", "Nivel más fuerte"},
    {Label::LevelNone, "isolation.level.none", "ninguno"},
    {Label::LevelReadUncommitted, "isolation.level.read_uncommitted", "lectura no confirmada"},
    {Label::LevelReadCommitted, "isolation.level.read_committed", "lectura confirmada"},
    {Label::LevelRepeatableRead, "isolation.level.repeatable_read", "lectura repetible"},
    {Label::LevelSerializable, "isolation.level.serializable", "serializable"},
    {Label::IsolationLevels, "isolation.levels", "Niveles"},
    {Label::IsolationAllowed, "isolation.allowed", "permitido"},
    {Label::IsolationNotAllowed, "isolation.not_allowed", "no permitido"},
    {Label::Anomalies, "isolation.anomalies", "Anomalías"},
    {Label::AnomaliesNone, "isolation.anomalies.none", "ninguna"},
    {Label::Phenomena, "isolation.phenomena", "Fenómenos"},
    {Label::PhenomenaNone, "isolation.phenomena.none", "ninguno"},
    {Label::EdgeWw, "isolation.edge.ww",
     "T{from} escribe {x} y T{to} escribe la versión siguiente (ww)"},
    {Label::EdgeWr, "isolation.edge.wr", "T{to} lee {x} de T{from} (wr)"},
    {Label::EdgeRw, "isolation.edge.rw",
     "T{from} lee {x} antes de que T{to} escriba la versión siguiente (rw)"},
    {Label::AnomalyG0, "isolation.G0", "ciclo de dependencias de escritura"},
    {Label::AnomalyG1a, "isolation.G1a", "lectura de una transacción abortada"},
    {Label::AnomalyG1aWitness, "isolation.G1a.witness", "T{j} lee {x} de T{i}, que aborta después"},
    {Label::AnomalyG1b, "isolation.G1b", "lectura de una versión intermedia"},
    {Label::AnomalyG1bWitness, "isolation.G1b.witness",
     "T{j} lee {x} de T{i}, que vuelve a escribir {x} después"},
    {Label::AnomalyG1c, "isolation.G1c", "ciclo de dependencias de escritura y de lectura"},
    {Label::AnomalyGSingle, "isolation.G-single", "ciclo con una sola antidependencia"},
    {Label::AnomalyG2Item, "isolation.G2-item", "ciclo con antidependencias"},
    {Label::PhenomenonP0, "isolation.P0", "escritura sucia"},
    {Label::PhenomenonP0Witness, "isolation.P0.witness",
     "T{j} escribe {x} (W{j}({x})) cuando T{i}, que lo escribió antes (W{i}({x})), aún no ha "
     "terminado"},
    {Label::PhenomenonP1, "isolation.P1", "lectura sucia"},
    {Label::PhenomenonP1Witness, "isolation.P1.witness",
     "T{j} lee {x} (R{j}({x})) cuando T{i}, que lo escribió antes (W{i}({x})), aún no ha "
     "terminado"},
    {Label::PhenomenonP2, "isolation.P2", "lectura no repetible"},
    {Label::PhenomenonP2Witness, "isolation.P2.witness",
     "T{j} escribe {x} (W{j}({x})) cuando T{i}, que lo leyó antes (R{i}({x})), aún no ha "
     "terminado"},
    {Label::PhenomenonP4, "isolation.P4", "actualización perdida"},
    {Label::PhenomenonP4Witness, "isolation.P4.witness",
     "T{i} lee {x} (R{i}({x})), T{j} lo escribe (W{j}({x})), T{i} lo escribe encima "
     "(W{i}({x})) y se valida (C{i})"},
    {Label::PhenomenonA5A, "isolation.A5A", "lectura sesgada"},
    {Label::PhenomenonA5AWitness, "isolation.A5A.witness",
     "T{i} lee {x} (R{i}({x})), T{j} escribe {x} y {y} (W{j}({x}), W{j}({y})) y se valida "
     "(C{j}), y después T{i} lee {y} (R{i}({y}))"},
    {Label::PhenomenonA5B, "isolation.A5B", "escritura sesgada"},
    {Label::PhenomenonA5BWitness, "isolation.A5B.witness",
     "T{i} lee {x} (R{i}({x})) y T{j} lee {y} (R{j}({y})); después T{i} escribe {y} "
     "(W{i}({y})) y T{j} escribe {x} (W{j}({x})), y las dos se validan"},
    {Label::IsolationGraph, "isolation.graph", "Grafo de dependencias"},
    {Label::IsolationGraphCaption, "isolation.graph.caption",
     "Grafo de dependencias del plan escrito, sin las transacciones que el plan aborta con A: "
     "Ti → Tj ww si Tj escribe la versión siguiente a la de Ti, wr si Tj lee una versión de Ti, "
     "rw si Ti lee la versión anterior a la que escribe Tj. Línea continua: ww; a trazos: wr; de "
     "puntos: rw. Al pasar por una arista se ven sus operaciones."},
    {Label::IsolationGraphWitness, "isolation.graph.witness",
     "En rojo y más gruesas, las aristas del ciclo de {kind}."},
    {Label::StepRejectedFirstCommitter, "step.rejected.first_committer", "otra validó antes"},
    {Label::CauseFirstCommitter, "cause.first_committer", "otra validó antes"},
    {Label::LabWhySiReadOwn, "lab.why.si.read.own", "T{t} lee {x} de su propia escritura"},
    {Label::LabWhySiReadCommitted, "lab.why.si.read.committed",
     "T{t} lee {x} de su instantánea: la última versión validada cuando T{t} empezó, la de {u}"},
    {Label::LabWhySiReadInitial, "lab.why.si.read.initial",
     "T{t} lee el valor inicial de {x}: cuando T{t} empezó, ninguna escritura de {x} se había "
     "validado"},
    {Label::LabWhySiWrite, "lab.why.si.write",
     "T{t} escribe {x} en su espacio de trabajo: llega a la historia cuando T{t} se valida"},
    {Label::LabWhySiWriteLost, "lab.why.si.write_lost",
     "T{t} escribe {x} en su espacio de trabajo, pero su validación se rechaza: esta escritura "
     "nunca llega a la historia"},
    {Label::LabWhySiValidated, "lab.why.si.validated",
     "ninguna transacción validada desde que T{t} empezó escribió algo que T{t} escribió: T{t} se "
     "valida y sus escrituras entran en la historia"},
    {Label::LabWhySiFails, "lab.why.si.fails",
     "{u} se validó después de que T{t} empezara y escribió {x}, que T{t} también escribió: gana "
     "la primera en validar y T{t} aborta"},
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

void AppendFilled(std::string& out, Label label,
                  std::initializer_list<std::pair<std::string_view, std::string>> places) {
  const std::string_view text = Text(label);
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t open = text.find('{', at);
    const std::size_t close = open == std::string_view::npos ? open : text.find('}', open);
    if (close == std::string_view::npos) {
      out += text.substr(at);
      return;
    }
    out += text.substr(at, open - at);
    const std::string_view name = text.substr(open + 1, close - open - 1);
    for (const auto& [place, value] : places) {
      if (place == name) {
        out += value;
      }
    }
    at = close + 1;
  }
}

std::string_view TextOfKey(std::string_view key) {
  for (const LabelEntry& entry : kSpanish) {
    if (entry.key == key) {
      return entry.text;
    }
  }
  return {};
}

void AppendLabelsJson(std::string& out) {
  out += '{';
  for (const LabelEntry& entry : kSpanish) {
    if (entry.label != Label::Line) {
      out += ',';
    }
    json::PutString(out, entry.key);
    out += ':';
    json::PutString(out, entry.text);
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

std::string_view OutcomeKey(analysis::Outcome outcome) {
  static constexpr std::string_view kKeys[] = {"executed",  "rejected", "skipped", "aborted",
                                               "committed", "begun",    "error"};
  return kKeys[static_cast<std::size_t>(outcome)];
}

std::string_view ResultKey(protocols::Result result) {
  static constexpr std::string_view kKeys[] = {"executed", "skipped", "rejected",
                                               "ignored",  "pending", "dropped"};
  return kKeys[static_cast<std::size_t>(result)];
}

std::string_view RuleKey(analysis::Rule rule) {
  static constexpr std::string_view kKeys[] = {"begin",
                                               "already_begun",
                                               "transaction_out_of_range",
                                               "commit",
                                               "abort",
                                               "not_active",
                                               "access_not_active",
                                               "item_out_of_range",
                                               "read",
                                               "read_too_late",
                                               "write",
                                               "write_too_late",
                                               "thomas",
                                               "obsolete_write",
                                               "illegal_operation",
                                               "number_expected",
                                               "open_expected",
                                               "letter_expected"};
  static_assert(std::size(kKeys) == static_cast<std::size_t>(analysis::Rule::LetterExpected) + 1);
  return kKeys[static_cast<std::size_t>(rule)];
}

namespace {

// The sentence for a transaction that is not active, by what it is instead: `inactive` is the
// first of the four labels (inactive, committed, aborted, out of range).
Label NotActiveLabel(const analysis::TraceStep& step, Label inactive) {
  int offset = 0;
  if (step.number < kFirstTransaction || step.number > kLastTransaction) {
    offset = 3;
  } else if (step.stateBefore == TransactionState::Validated) {
    offset = 1;
  } else if (step.stateBefore == TransactionState::Aborted) {
    offset = 2;
  }
  return static_cast<Label>(static_cast<int>(inactive) + offset);
}

Label WhyLabel(const analysis::TraceStep& step) {
  using analysis::Rule;
  switch (RuleOf(step)) {
    case Rule::Begin:
      return Label::WhyBegin;
    case Rule::AlreadyBegun:
      return Label::WhyAlreadyBegun;
    case Rule::TransactionOutOfRange:
      return Label::WhyTransactionOutOfRange;
    case Rule::Commit:
      return Label::WhyCommit;
    case Rule::Abort:
      return Label::WhyAbort;
    case Rule::NotActive:
      return NotActiveLabel(step, Label::WhyNotActiveInactive);
    case Rule::AccessNotActive:
      return NotActiveLabel(step, Label::WhyAccessNotActiveInactive);
    case Rule::ItemOutOfRange:
      return Label::WhyItemOutOfRange;
    case Rule::Read:
      return step.tsLect == step.before ? Label::WhyReadKept : Label::WhyRead;
    case Rule::ReadTooLate:
      return Label::WhyReadTooLate;
    case Rule::Write:
      return Label::WhyWrite;
    case Rule::WriteTooLate:
      return Label::WhyWriteTooLate;
    case Rule::Thomas:
      return Label::WhyThomas;
    case Rule::ObsoleteWrite:
      return Label::WhyObsoleteWrite;
    case Rule::IllegalOperation:
      return Label::WhyIllegalOperation;
    case Rule::NumberExpected:
      return Label::WhyNumberExpected;
    case Rule::OpenExpected:
      return Label::WhyOpenExpected;
    case Rule::LetterExpected:
      return Label::WhyLetterExpected;
  }
  return Label::WhyIllegalOperation;
}

}  // namespace

namespace {

// A sentence of the table cut at its places: literal text, then the value of one place.
struct Piece {
  std::string text;
  char place = 0;  // 't', 's' (ts), 'x', 'l' (lect), 'e' (escr), 'b' (before); 0 at the end
};

// Each why-sentence cut into pieces once, its text as it is and escaped for JSON.
class WhyPieces {
 public:
  WhyPieces() {
    for (int i = 0; i < kCount; ++i) {
      const std::string_view text = Text(static_cast<Label>(static_cast<int>(Label::WhyBegin) + i));
      for (std::size_t at = 0;;) {
        const std::size_t open = text.find('{', at);
        const std::size_t close = open == std::string_view::npos ? open : text.find('}', open);
        const std::string_view literal = text.substr(at, open - std::min(open, at));
        const std::string_view name = open == std::string_view::npos
                                          ? std::string_view{}
                                          : text.substr(open + 1, close - open - 1);
        const char place = name.empty() ? 0 : name == "ts" ? 's' : name[0];
        std::string quoted;
        json::PutString(quoted, literal);
        plain_[i].push_back({std::string(literal), place});
        escaped_[i].push_back({quoted.substr(1, quoted.size() - 2), place});
        if (place == 0) {
          break;
        }
        at = close + 1;
      }
    }
  }
  const std::vector<Piece>& Of(Label label, bool json) const {
    const int i = static_cast<int>(label) - static_cast<int>(Label::WhyBegin);
    return json ? escaped_[i] : plain_[i];
  }

 private:
  static constexpr int kCount =
      static_cast<int>(Label::WhyLetterExpected) - static_cast<int>(Label::WhyBegin) + 1;
  std::vector<Piece> plain_[kCount];
  std::vector<Piece> escaped_[kCount];
};

void AppendPieces(std::string& out, const std::vector<Piece>& pieces,
                  const analysis::TraceStep& step) {
  for (const Piece& piece : pieces) {
    out += piece.text;
    switch (piece.place) {
      case 0:
        break;
      case 'x':
        out += step.item;
        break;
      default:
        json::PutNumber(out, piece.place == 't'   ? step.number
                             : piece.place == 's' ? step.ts
                             : piece.place == 'l' ? step.tsLect
                             : piece.place == 'e' ? step.tsEscr
                                                  : step.before);
        break;
    }
  }
}

const WhyPieces& Pieces() {
  static const WhyPieces pieces;
  return pieces;
}

}  // namespace

void AppendWhy(std::string& out, const analysis::TraceStep& step) {
  AppendPieces(out, Pieces().Of(WhyLabel(step), false), step);
}

void AppendWhyJson(std::string& out, const analysis::TraceStep& step) {
  out += '"';
  AppendPieces(out, Pieces().Of(WhyLabel(step), true), step);
  out += '"';
}

std::string_view LevelKey(analysis::IsolationLevel level) {
  static constexpr std::string_view kKeys[] = {"none", "read_uncommitted", "read_committed",
                                               "repeatable_read", "serializable"};
  return kKeys[static_cast<std::size_t>(level)];
}

Label LevelLabel(analysis::IsolationLevel level) {
  return static_cast<Label>(static_cast<int>(Label::LevelNone) + static_cast<int>(level));
}

std::string_view AnomalyKey(analysis::AnomalyKind kind) {
  static constexpr std::string_view kKeys[] = {"G0", "G1a", "G1b", "G1c", "G-single", "G2-item"};
  return kKeys[static_cast<std::size_t>(kind)];
}

std::string_view PhenomenonKey(analysis::PhenomenonKind kind) {
  static constexpr std::string_view kKeys[] = {"P0", "P1", "P2", "P4", "A5A", "A5B"};
  return kKeys[static_cast<std::size_t>(kind)];
}

std::string_view DependencyKey(analysis::DependencyKind kind) {
  static constexpr std::string_view kKeys[] = {"ww", "wr", "rw"};
  return kKeys[static_cast<std::size_t>(kind)];
}

namespace {

// Appends `text` with every place "{name}" replaced by what `value(out, name)` appends.
template <typename Value>
void AppendFilled(std::string& out, std::string_view text, Value value) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t open = text.find('{', at);
    if (open == std::string_view::npos) {
      out += text.substr(at);
      return;
    }
    const std::size_t close = text.find('}', open);
    out += text.substr(at, open - at);
    value(out, text.substr(open + 1, close - open - 1));
    at = close + 1;
  }
}

// ": name (KEY)", after a witness.
void AppendKindName(std::string& out, Label name, std::string_view key) {
  out += ": ";
  out += Text(name);
  out += " (";
  out += key;
  out += ')';
}

// A witness with the places of its transactions Ti, Tj and items x, y filled in.
void AppendWitness(std::string& out, Label witness, std::int32_t i, std::int32_t j, char x,
                   char y) {
  AppendFilled(out, Text(witness), [&](std::string& to, std::string_view place) {
    if (place == "i" || place == "j") {
      to += std::to_string(place == "i" ? i : j);
    } else {
      to += place == "x" ? x : y;
    }
  });
}

}  // namespace

void AppendAnomalyText(std::string& out, const analysis::Anomaly& anomaly) {
  using analysis::AnomalyKind;
  static constexpr Label kNames[] = {Label::AnomalyG0,      Label::AnomalyG1a,
                                     Label::AnomalyG1b,     Label::AnomalyG1c,
                                     Label::AnomalyGSingle, Label::AnomalyG2Item};
  if (anomaly.kind == AnomalyKind::G1a || anomaly.kind == AnomalyKind::G1b) {
    AppendWitness(
        out, anomaly.kind == AnomalyKind::G1a ? Label::AnomalyG1aWitness : Label::AnomalyG1bWitness,
        anomaly.writer, anomaly.reader, anomaly.item, anomaly.item);
  }
  for (std::size_t e = 0; e < anomaly.cycle.size(); ++e) {
    const analysis::DependencyEdge& edge = anomaly.cycle[e];
    if (e != 0) {
      out += "; ";
    }
    const auto clause =
        static_cast<Label>(static_cast<int>(Label::EdgeWw) + static_cast<int>(edge.kind));
    AppendFilled(out, Text(clause), [&](std::string& to, std::string_view place) {
      if (place == "x") {
        to += edge.item;
      } else {
        to += std::to_string(place == "from" ? edge.from : edge.to);
      }
    });
  }
  AppendKindName(out, kNames[static_cast<std::size_t>(anomaly.kind)], AnomalyKey(anomaly.kind));
}

void AppendPhenomenonText(std::string& out, const analysis::Phenomenon& phenomenon) {
  // Each phenomenon's name, and its witness after it.
  const auto name = static_cast<Label>(static_cast<int>(Label::PhenomenonP0) +
                                       2 * static_cast<int>(phenomenon.kind));
  AppendWitness(out, static_cast<Label>(static_cast<int>(name) + 1), phenomenon.ti, phenomenon.tj,
                phenomenon.x, phenomenon.y);
  AppendKindName(out, name, PhenomenonKey(phenomenon.kind));
}

}  // namespace tosim::report
