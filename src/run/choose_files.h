// File selection: the plan file and the listing file, from the command line or chosen by the user.
#pragma once

#include <string>
#include <vector>

namespace tosim {

// Fills both paths from the command line, or from the file dialogs when it has no argument. An
// empty plan path means there is nothing to run; an empty listing path sends the listing to the
// standard output.
void ChooseFiles(const std::vector<std::string>& arguments, std::string& planPath,
                 std::string& listingPath);

}  // namespace tosim
