// The open and save dialogs: the common dialogs on Windows, prompts on the terminal elsewhere.
// One backend file per platform (dialogs_win32.cpp, dialogs_posix.cpp), chosen by the build.
#pragma once

#include <cstdint>
#include <string>

namespace tosim {

// A dialog's outcome. Cancelling is an answer, not a failure; a dialog that could not do its job
// (a chosen path longer than its buffer, a dialog that could not be shown) has failed, and says
// why on standard error itself.
enum class Choice : std::uint8_t { Chosen, Cancelled, Failed };

// Lets the user choose the plan file, starting from `path`; when Chosen, `path` holds it.
[[nodiscard]] Choice OpenFileDialog(std::string& path);
// Lets the user choose the listing file, starting from `path`; when Chosen, `path` holds it.
[[nodiscard]] Choice SaveFileDialog(std::string& path);

}  // namespace tosim
