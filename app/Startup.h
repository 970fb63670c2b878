#pragma once

namespace ombrix {
class Application;
class Forms;

// Loads and shows the main window, then runs the events until the
// program ends. Returns the program's exit status.
int runProgram(Application& app, Forms& forms);

} // namespace ombrix
