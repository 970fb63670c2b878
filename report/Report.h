#pragma once
#include "drive_details/DriveReport.h"
#include "main_window/SummaryFacts.h"
#include "network_report/NetworkReport.h"
#include "platform/Printers.h"

#include <QString>

#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace ombrix {

// The parts of a report, in the order a full report shows them.
enum class ReportSection { Summary, Network, Drives, Printers };

// The facts each asked section holds; a section that could not be made has
// none, and its failure says why. A section made in part (a summary with
// facts that could not be read) holds its facts and a failure as well.
struct Report {
    std::vector<ReportSection> sections; // as asked, in report order
    std::optional<SummaryFacts> summary;
    std::optional<NetworkConfiguration> network;
    std::optional<std::vector<DriveLines>> drives;
    std::optional<platform::PrinterList> printers;
    std::map<ReportSection, QString> failures;
};

// Where each section's facts come from. Each is called only when its section
// is asked for; one that throws fails its section alone.
struct ReportSources {
    std::function<SummaryFacts()> summary;
    std::function<NetworkConfiguration()> network;
    std::function<EveryDrive()> drives;
    std::function<platform::PrinterList()> printers;
};

Report BuildReport(const std::vector<ReportSection>& sections, const ReportSources& sources);

// Whether a section holds facts, all of them or a part.
bool SectionMade(const Report& report, ReportSection section);

// "summary", "network", "drives", "printers".
QString SectionName(ReportSection section);
std::optional<ReportSection> SectionNamed(const QString& name);
// A summary fact's key in the JSON report: "fdd_present".
QString SummaryFactKey(SummaryFact fact);
// Every section, in report order.
std::vector<ReportSection> AllSections();

} // namespace ombrix
