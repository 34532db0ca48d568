#pragma once
// The headless wizard: the same wizard model driven by a list of actions instead of a
// screen, for automated installs and end-to-end tests.
//   accept | decline        choose radio 1002 / 1003 on the licence page
//   folder=<text>           type <text> into the folder page's edit (blanks and commas kept)
//   next                    press "Next >>" (at the finish page: "Finish")
//   finish                  press "Next >>" until the installation has run
//   cancel                  press "Cancel"
//   answer=ok|cancel|yes|no answer the next message box so (default: its first button)
// Every message box is printed to stdout as "MessageBox<TAB>flags<TAB>caption<TAB>text"
// with line ends shown as "\n"; every progress line as "Progress<TAB>text".
#include <string>
#include <vector>

namespace korvane::installer {
class Installer;

// Installs the printing, answering message-box handler for the script's answers.
void InstallScriptMessageBoxes(const std::vector<std::string>& actions);

// Runs `actions`; 1 installed, 2 cancelled, 3 when the script is wrong, was refused, or
// ended before the wizard did (nothing installed then).
int RunScriptedWizard(Installer& installer, const std::vector<std::string>& actions);

}  // namespace korvane::installer
