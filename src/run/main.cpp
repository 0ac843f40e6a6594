#include "platform/platform.h"
#include "run/failure_report.h"
#include "run/run_plans.h"

int main(int argc, char** argv) {
  tosim::platform::PrepareProcess();
  tosim::platform::ExitProcess(tosim::RunPlans(argc, argv, tosim::ReportFailure));
}
