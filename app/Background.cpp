#include "app/Background.h"

#include <QThreadPool>

namespace ombrix {
namespace {

// Not Qt's global pool, which has a thread per core: a few stuck services
// would hold all of them, and everyone else's questions would queue behind.
struct QuestionThreads : QThreadPool {
    QuestionThreads() { setMaxThreadCount(8); }
};

QThreadPool& pool() {
    static QuestionThreads threads;
    return threads;
}

} // namespace

void startInBackground(std::function<void()> task) {
    pool().start(std::move(task));
}

void waitForBackgroundWork() {
    pool().waitForDone();
}

} // namespace ombrix
