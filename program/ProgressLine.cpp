#include "program/ProgressLine.h"

#include <QLocale>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <stop_token>
#include <unistd.h>

namespace ombrix::program {
namespace {

// Often enough to see it move, seldom enough not to flicker or cost.
constexpr std::chrono::milliseconds kRedrawEvery{250};

} // namespace

QString progressText(std::size_t done, std::size_t all, std::size_t notAnswering,
                     std::chrono::milliseconds elapsed) {
    QString text = QStringLiteral("ombrix: %1 of %2 computers")
                       .arg(static_cast<qulonglong>(done))
                       .arg(static_cast<qulonglong>(all));
    if (notAnswering > 0)
        text += QStringLiteral(", %1 not answering").arg(static_cast<qulonglong>(notAnswering));
    return text + QStringLiteral(", %1 s").arg(double(elapsed.count()) / 1000.0, 0, 'f', 1);
}

ProgressLine::ProgressLine(const ReportProgress& progress) : m_progress(progress) {
    if (isatty(STDERR_FILENO) != 1)
        return;
    const auto start = std::chrono::steady_clock::now();
    draw(start); // at once, however soon the report ends
    m_thread = std::jthread([this, start](std::stop_token stop) {
        std::mutex sleeping;
        std::condition_variable_any wake;
        std::unique_lock asleep(sleeping);
        while (!wake.wait_for(asleep, stop, kRedrawEvery, [] { return false; }) &&
               !stop.stop_requested())
            draw(start);
        // Clear the line, so that what follows starts at its beginning.
        const std::lock_guard lock(m_mutex);
        clear();
    });
}

void ProgressLine::above(const std::function<void()>& write) {
    const std::lock_guard lock(m_mutex);
    clear();
    write();
}

void ProgressLine::clear() {
    if (!m_shown)
        return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    m_shown = false;
}

ProgressLine::~ProgressLine() = default; // the thread is asked to stop, clears and is joined

void ProgressLine::draw(std::chrono::steady_clock::time_point start) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    const QString text = progressText(m_progress.done.load(), m_progress.all.load(),
                                      m_progress.notAnswering.load(), elapsed);
    // At the line's start, and what the last drawing left beyond it cleared.
    const std::lock_guard lock(m_mutex);
    std::fprintf(stderr, "\r%s\x1b[K", text.toLocal8Bit().constData());
    std::fflush(stderr);
    m_shown = true;
}

} // namespace ombrix::program
