#include "platform.h"
#include "run.h"

namespace tosim {

void ChooseFiles(const std::vector<std::string>& arguments, std::string& planPath,
                 std::string& listingPath) {
  planPath.clear();
  listingPath.clear();

  // A plan file named on the command line must exist; otherwise the user chooses one.
  const bool fromCommandLine = !arguments.empty();
  bool ok = false;
  if (fromCommandLine) {
    planPath = arguments[0];
    ok = platform::IsExistingFile(planPath);
  } else {
    ok = platform::OpenFileDialog(planPath);
  }
  if (!ok) {
    // The run driver then fails to open a plan file that does not exist, or runs nothing when
    // the choice was cancelled.
    return;
  }

  const PathParts parts = platform::SplitPath(planPath);
  listingPath = parts.directory + parts.name + ".lst";

  if (fromCommandLine) {
    // A second argument is taken as it stands: not made absolute, not tested.
    if (arguments.size() >= 2) {
      listingPath = arguments[1];
    }
  } else if (!platform::SaveFileDialog(listingPath)) {
    listingPath.clear();
  }
}

}  // namespace tosim
