#pragma once
#include "report/ComputerReport.h"

#include <QString>

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

namespace ombrix::program {

// "12 of 1000 computers, 3 not answering, 4.2 s": how far a report of many
// computers is.
QString progressText(std::size_t done, std::size_t all, std::size_t notAnswering,
                     std::chrono::milliseconds elapsed);

// While it lives, shows on standard error how far the report is, on one
// line redrawn in place a few times a second, and clears that line when it
// goes; when standard error is no terminal (a pipe, a file, cron's mail) it
// writes nothing. Its thread is its own, and joined when it goes.
class ProgressLine {
public:
    // progress.all is counted before.
    explicit ProgressLine(const ReportProgress& progress);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Runs write (of standard output) with the line taken away, so that
    // what it writes on the same terminal starts at a line's beginning; the
    // line comes back at its next drawing.
    void above(const std::function<void()>& write);

private:
    void draw(std::chrono::steady_clock::time_point start);
    void clear();

    std::mutex m_mutex; // one writer of the terminal at a time
    bool m_shown = false;

    const ReportProgress& m_progress;
    std::jthread m_thread; // last: it ends before what it reads
};

} // namespace ombrix::program
