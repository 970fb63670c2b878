#pragma once
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
    ombrix::ReportSources sources;
    sources.summary = [&machine, locale] {
        return ombrix::ReadSummary({machine.memory, machine.version, machine.cpu, machine.host,
                                    machine.systemInfo, machine.floppy},
                                   locale);
    };
    sources.network = [&registry] { return ombrix::ReadNetwork(registry); };
    sources.drives = [&fileSystem, locale] { return ombrix::readEveryDrive(fileSystem, locale); };
    sources.printers = [&printers] { return printers.query(); };
    return sources;
}
