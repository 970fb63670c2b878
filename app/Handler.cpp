#include "app/Handler.h"

#include <atomic>
#include <utility>

namespace ombrix {
namespace {
std::atomic<const ScopedErrorSink*> g_installed{nullptr};
} // namespace

ScopedErrorSink::ScopedErrorSink(ErrorSink sink)
    : m_sink(std::move(sink)), m_before(g_installed.exchange(this)) {}

ScopedErrorSink::~ScopedErrorSink() {
    g_installed.store(m_before);
}

void handle(const std::function<void()>& body) {
    try {
        body();
    } catch (...) {
        sendToErrorSink(std::current_exception());
    }
}

void sendToErrorSink(std::exception_ptr error) {
    const ScopedErrorSink* sink = g_installed.load();
    if (!sink)
        std::rethrow_exception(error);
    sink->m_sink(error);
}

} // namespace ombrix
