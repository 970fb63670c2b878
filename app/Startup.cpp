#include "app/Startup.h"

#include "app/Application.h"
#include "app/Background.h"
#include "app/ErrorReport.h"
#include "app/Forms.h"
#include "app/Handler.h"

#include <QApplication>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace ombrix {

int runProgram(Application& app, Forms& forms) {
    app.clearFailure();
    handle([&] { forms.showMain(); });
    // A failed load step has been reported; the event loop never starts.
    int status = app.failed() ? kErrorExitStatus : app.exec();
    // Windows still loaded, hidden ones too, go without their unload handling.
    forms.destroyAll();
    if (app.failed())
        status = kErrorExitStatus;
    // Windows that are no form (the printers window) leave the screen now,
    // not when their owners go after the wait below.
    for (QWidget* window : QApplication::topLevelWidgets())
        window->hide();
    // Questions still out use the services, which go once we return. One
    // that a service holds beyond the bound (a thread stuck in the kernel)
    // would keep the program for ever: the program ends here instead,
    // without the exit handlers that thread may still be running in.
    if (!waitForBackgroundWork(kMostExitWait)) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

} // namespace ombrix
