#pragma once
#include <exception>
#include <functional>

namespace ombrix {

// Runs the body of an event handler or load step. An error escaping it goes
// to the error sink installed last instead of unwinding through the toolkit.
void handle(const std::function<void()>& body);

// Where escaped errors go: the program's application object installs the
// report that shows a message box and ends; tests install their own. With
// none installed an error is rethrown.
using ErrorSink = std::function<void(std::exception_ptr)>;
void sendToErrorSink(std::exception_ptr error);

// Installs a sink for as long as it lives, then puts back the one before.
class ScopedErrorSink {
public:
    explicit ScopedErrorSink(ErrorSink sink);
    ~ScopedErrorSink();
    ScopedErrorSink(const ScopedErrorSink&) = delete;
    ScopedErrorSink& operator=(const ScopedErrorSink&) = delete;

private:
    ErrorSink m_sink;
    const ScopedErrorSink* m_before;
    friend void sendToErrorSink(std::exception_ptr error);
};

} // namespace ombrix
