#include "run/choose_files.h"

#include "platform/platform.h"
#include "run/dialogs.h"

namespace tosim {

void ChooseFiles(const std::vector<std::string>& arguments, std::string& planPath,
                 std::string& listingPath) {
  planPath.clear();
  listingPath.clear();

  // A plan file named on the command line must exist; otherwise the user chooses one.
  const bool fromCommandLine = !arguments.empty();
  if (fromCommandLine) {
    planPath = arguments[0];
    if (!platform::IsExistingFile(planPath)) {
      // The run driver then fails to open it, with the error number of the open.
      return;
    }
  } else if (OpenFileDialog(planPath) != Choice::Chosen) {
    // A failed dialog has said why already; like a cancelled one, it leaves nothing to run: no
    // plan file was chosen, and none is guessed.
    planPath.clear();
    return;
  }

  const PathParts parts = platform::SplitPath(planPath);
  listingPath = parts.directory + parts.name + ".lst";

  if (fromCommandLine) {
    // A second argument is taken as it stands: not made absolute, not tested.
    if (arguments.size() >= 2) {
      listingPath = arguments[1];
    }
  } else if (SaveFileDialog(listingPath) != Choice::Chosen) {
    // Cancelled, or failed after saying why: the listing goes to the standard output, so that no
    // file the user did not choose is written.
    listingPath.clear();
  }
}

}  // namespace tosim
