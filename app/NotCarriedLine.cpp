#include "app/NotCarriedLine.h"

#include "app/FitLabel.h"

#include <QBoxLayout>
#include <QCoreApplication>

#include <utility>

namespace ombrix {
namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("NotCarriedLine", text);
}

// The facts' words, by the report's keys.
QString words(const QString& key) {
    static const std::pair<const char*, const char*> known[] = {
        {"summary.os_platform", "OS platform"},
        {"summary.os_version", "OS version"},
        {"summary.os_build", "OS build"},
        {"summary.computer_name", "computer name"},
        {"summary.ip_address", "IP address"},
        {"summary.processor", "processor"},
        {"summary.vendor", "processor vendor"},
        {"summary.speed_mhz", "processor speed"},
        {"summary.total_mb", "total memory"},
        {"summary.available_mb", "available memory"},
        {"summary.fdd_present", "floppy drive"},
        {"network.domain", "domain"},
        {"network.host_name", "host name"},
        {"network.name_servers", "name servers"},
        {"network.adapters", "adapters"},
        {"network.adapters.subnet_masks", "subnet masks"},
        {"network.adapters.gateways", "gateways"},
        {"network.adapters.dhcp", "DHCP"},
        {"network.adapters.primary_wins", "primary WINS servers"},
        {"network.adapters.backup_wins", "backup WINS servers"},
        {"drives", "drives"},
        {"drives.serial", "serial numbers"},
        {"drives.total_bytes", "total sizes"},
        {"drives.free_bytes", "free space"},
        {"printers", "printers (its print service cannot be reached from here)"},
    };
    for (const auto& [name, text] : known)
        if (key == QLatin1String(name))
            return tr(text);
    return key;
}

constexpr char kName[] = "notCarried";

} // namespace

QString NotCarriedLine(const QStringList& notCarried, const QString& section) {
    QStringList named;
    for (const QString& key : notCarried)
        if (key == section || key.startsWith(section + u'.'))
            named << words(key);
    if (named.isEmpty())
        return {};
    return tr("Not known from here: %1.").arg(named.join(QStringLiteral(", ")));
}

void ShowNotCarriedLine(QWidget& area, int left, int top, int width, const QString& line) {
    auto* label = area.findChild<QLabel*>(QLatin1String(kName), Qt::FindDirectChildrenOnly);
    if (!label && line.isEmpty())
        return;
    const bool laidOut = area.layout() != nullptr;
    if (!label) {
        label = new FitLabel(&area);
        label->setObjectName(QLatin1String(kName));
        // Above the window's buttons, which a laid-out window has last.
        if (auto* box = qobject_cast<QBoxLayout*>(area.layout()))
            box->insertWidget(box->count() - 1, label);
        else if (laidOut)
            area.layout()->addWidget(label);
        else
            label->hide(); // shown below, where area grows by it
    }
    label->setText(line);
    label->setAccessibleName(line);
    const bool show = !line.isEmpty();
    if (!laidOut && show == label->isHidden()) {
        const int height = label->fontMetrics().height() + 4;
        if (show)
            label->setGeometry(left, top, width, height);
        const int grow = show ? height : -height;
        if (area.minimumSize() == area.maximumSize())
            area.setFixedSize(area.width(), area.height() + grow);
        else
            area.window()->resize(area.window()->width(), area.window()->height() + grow);
    }
    label->setVisible(show);
}

} // namespace ombrix
