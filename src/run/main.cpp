#include "platform.h"
#include "run.h"

int main(int argc, char** argv) {
  tosim::platform::PrepareProcess();
  tosim::platform::ExitProcess(tosim::RunPlans(argc, argv));
}
