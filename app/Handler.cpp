#include "app/Handler.h"

#include <utility>

namespace ombrix {
namespace {
ErrorSink& sink() {
    static ErrorSink s = [](std::exception_ptr error) { std::rethrow_exception(error); };
    return s;
}
} // namespace

void handle(const std::function<void()>& body) {
    try {
        body();
    } catch (...) {
        sendToErrorSink(std::current_exception());
    }
}

ErrorSink setErrorSink(ErrorSink next) {
    return std::exchange(sink(), std::move(next));
}

void sendToErrorSink(std::exception_ptr error) {
    sink()(error);
}

} // namespace ombrix
