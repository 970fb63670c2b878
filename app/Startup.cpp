#include "app/Startup.h"

#include "app/Application.h"
#include "app/Background.h"
#include "app/ErrorReport.h"
#include "app/Forms.h"
#include "app/Handler.h"

namespace ombrix {

int runProgram(Application& app, Forms& forms) {
    app.clearFailure();
    handle([&] { forms.showMain(); });
    // A failed load step has been reported; the event loop never starts.
    int status = app.failed() ? kErrorExitStatus : app.exec();
    // Windows still loaded, hidden ones too, go without their unload handling.
    forms.destroyAll();
    // Questions still out use the services, which go once we return.
    waitForBackgroundWork();
    if (app.failed())
        status = kErrorExitStatus;
    return status;
}

} // namespace ombrix
