#include "report_run.h"
#include "run/platform.h"

int main(int argc, char** argv) {
  tosim::platform::PrepareProcess();
  tosim::platform::ExitProcess(tosim::report::RunReport(argc, argv));
}
