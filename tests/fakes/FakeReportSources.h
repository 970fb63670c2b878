#pragma once
#include "platform/Machine.h"
#include "platform/Registry.h"
#include "report/Report.h"
#include "report/ReportSources.h"

#include "FakeFileSystem.h"
#include "FakeMachine.h"
#include "FakePrinters.h"

#include <QLocale>

// The report's facts from fakes, read as the program reads this machine's.
inline ombrix::ReportSources fakeReportSources(FakeMachine& machine,
                                               ombrix::platform::Registry& registry,
                                               FakeFileSystem& fileSystem, FakePrinters& printers,
                                               const QLocale& locale) {
    return ombrix::SourcesOf({machine.memory, machine.version, machine.cpu, machine.host,
                              machine.systemInfo, machine.floppy, printers, fileSystem, registry,
                              machine.clock, machine.readings},
                             locale);
}
