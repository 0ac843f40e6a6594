#include "platform/platform.h"
#include "report_cli/report_run.h"

int main(int argc, char** argv) {
  tosim::platform::PrepareProcess();
  tosim::platform::ExitProcess(tosim::report::RunReport(argc, argv));
}
