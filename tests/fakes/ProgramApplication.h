#pragma once
#include "app/Application.h"

#include "FakeMessageBoxes.h"
#include "ProgramThreads.h"

#include <QTest>

// Runs a test with the program's own application object, whose message boxes
// are recorded instead of shown; boxes, when given, points at them meanwhile.
template <class Test>
int runWithProgramApplication(int argc, char** argv, FakeMessageBoxes** boxes = nullptr) {
    FakeMessageBoxes recorded;
    if (boxes)
        *boxes = &recorded;
    ombrix::Application app(argc, argv, recorded);
    ProgramThreads threads;
    Test test;
    return QTest::qExec(&test, argc, argv);
}
