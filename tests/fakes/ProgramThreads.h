#pragma once
#include "app/Background.h"
#include "platform/linux/BoundedCall.h"

// The owners of the threads the program starts, as main() makes them: a test
// that opens windows asking in the background, or reads volumes or print
// services, keeps one for as long as it runs.
struct ProgramThreads {
    ombrix::platform::BoundedWorkers boundedWorkers{ombrix::kMostExitWait};
    ombrix::BackgroundThreads background;
};
