#include "gen_cli/gen_run.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  tosim::platform::PrepareProcess();
  tosim::platform::ExitProcess(tosim::gen::RunGenerator(argc, argv));
}
