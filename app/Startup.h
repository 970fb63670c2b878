#pragma once
#include <chrono>

namespace ombrix {
class Application;
class Forms;

// How long the end of the program waits for questions still out.
inline constexpr std::chrono::milliseconds kMostExitWait{2000};

// Loads and shows the main window, then runs the events until the
// program ends. Returns the program's exit status; where a question is
// still out kMostExitWait after the last window went, ends the process
// with that status instead.
int runProgram(Application& app, Forms& forms);

} // namespace ombrix
