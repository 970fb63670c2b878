// How long a drive report takes on this machine: the mount table, the
// file-system object, the bounded volume reads and the window's report.
#include "app/Forms.h"
#include "drive_details/Drive.h"
#include "platform/linux/drives/LinuxFileSystem.h"
#include "platform/linux/drives/MountInfo.h"

#include <QFile>

#include <benchmark/benchmark.h>

using namespace ombrix::platform;

static void BM_ParseSixHundredMounts(benchmark::State& state) {
    QFile file(QStringLiteral(OMBRIX_FIXTURES_DIR "/mountinfo_many.txt"));
    if (!file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("fixture missing");
        return;
    }
    const QByteArray text = file.readAll();
    for (auto _ : state)
        benchmark::DoNotOptimize(parseMountInfo(text));
}
BENCHMARK(BM_ParseSixHundredMounts);

static void BM_CreateFileSystemObject(benchmark::State& state) {
    LinuxFileSystem fs;
    for (auto _ : state)
        benchmark::DoNotOptimize(fs.create());
}
BENCHMARK(BM_CreateFileSystemObject);

static void BM_ReadDriveC(benchmark::State& state) {
    LinuxFileSystem fs;
    for (auto _ : state) {
        const auto drive = fs.create()->GetDrive(QStringLiteral("C"));
        benchmark::DoNotOptimize(drive->SerialNumber());
        benchmark::DoNotOptimize(drive->AvailableSpace());
        benchmark::DoNotOptimize(drive->TotalSize());
    }
}
BENCHMARK(BM_ReadDriveC);

static void BM_WindowReportDriveC(benchmark::State& state) {
    LinuxFileSystem fs;
    ombrix::Forms forms;
    ombrix::Drive window(fs, forms);
    window.Form_Load();
    for (auto _ : state)
        window.GetDriveInfo();
}
BENCHMARK(BM_WindowReportDriveC);
