#pragma once
#include <QApplication>

#include "app/Handler.h"

#include <exception>

namespace ombrix {
namespace platform {
class MessageBoxes;
}

// The program's application object. Errors that escape a handler end here:
// the default error report names them in a message box, and the program ends
// with a non-zero status.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv, platform::MessageBoxes& boxes);
    bool notify(QObject* receiver, QEvent* event) override;
    void fail(const std::exception_ptr& error);
    bool failed() const { return m_failed; }
    // A new run of the event loop starts with no failure on record.
    void clearFailure() { m_failed = false; }

private:
    platform::MessageBoxes& m_boxes;
    bool m_failed = false;
    ScopedErrorSink m_errors{[this](std::exception_ptr error) { fail(error); }};
};

} // namespace ombrix
