#pragma once
#include "app/Background.h"

namespace ombrix {
class Application;
class Forms;

// Loads and shows the main window, then runs the events until the
// program ends. Returns the program's exit status; where a question is
// still out kMostExitWait after the last window went, ends the process
// with that status instead.
int runProgram(Application& app, Forms& forms);

} // namespace ombrix
