#include "app/ErrorReport.h"

#include "app/AppTitle.h"
#include "platform/MessageBoxes.h"

namespace ombrix {

QString describeError(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void reportError(platform::MessageBoxes& boxes, const std::exception_ptr& error) {
    boxes.show(appTitle(), describeError(error), platform::MessageBoxes::Icon::Critical);
}

} // namespace ombrix
