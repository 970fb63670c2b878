#pragma once
#include <QString>

namespace ombrix {
class Application;
class Forms;

// Loads and shows the start-up window, then runs the events until the
// program ends. Returns the program's exit status.
int runProgram(Application& app, Forms& forms, const QString& startupForm);

} // namespace ombrix
