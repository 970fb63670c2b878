#include "app/Application.h"

#include "app/ApplicationStyle.h"
#include "app/ErrorReport.h"
#include "app/FormFont.h"
#include "app/Handler.h"
#include "app/LabelAccessibility.h"
#include "platform/MessageBoxes.h"

namespace ombrix {

Application::Application(int& argc, char** argv, platform::MessageBoxes& boxes)
    : QApplication(argc, argv), m_boxes(boxes) {
    setStyle(new ApplicationStyle);
    setFont(formFont());
    installLabelAccessibility();
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        fail(std::current_exception());
        return true;
    }
}

void Application::fail(const std::exception_ptr& error) {
    if (m_failed)
        return; // one report is enough; the program is already ending
    m_failed = true;
    reportError(m_boxes, error);
    exit(kErrorExitStatus);
}

} // namespace ombrix
