#pragma once
#include <exception>
#include <functional>

namespace ombrix {

// Runs the body of an event handler or load step. An error escaping it goes
// to the default error report instead of unwinding through the toolkit.
void handle(const std::function<void()>& body);

// Where escaped errors go. The program installs the report that shows a
// message box and ends; tests install their own. Returns the previous one.
using ErrorSink = std::function<void(std::exception_ptr)>;
ErrorSink setErrorSink(ErrorSink sink);
void sendToErrorSink(std::exception_ptr error);

} // namespace ombrix
