#include "main_window/Ombrix2.h"

#include "about/frmAbout.h"
#include "app/CopyAction.h"
#include "app/FitLabel.h"
#include "app/Forms.h"
#include "app/Handler.h"
#include "app/Twips.h"
#include "app/VisibleText.h"
#include "drive_details/Drive.h"
#include "main_window/HostedControls.h"
#include "main_window/PrinterInstallControl.h"
#include "main_window/SummaryFacts.h"
#include "main_window/SummaryText.h"
#include "main_window/TextRoutines.h"
#include "network_report/frmNetCheck.h"
#include "performance_monitor/sysmon.h"
#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/FloppyDrive.h"
#include "platform/Machine.h"
#include "platform/PlatformError.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include <utility>

namespace ombrix {
namespace {

// A child of parent named for tests and screen readers, at r.
template <class Widget, class... Args>
Widget* placed(QWidget* parent, const char* name, QRect r, Args&&... args) {
    auto* w = new Widget(std::forward<Args>(args)..., parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(r);
    return w;
}

QGroupBox* frame(QWidget* parent, const char* name, const QString& caption, QRect r) {
    return placed<QGroupBox>(parent, name, r, caption);
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, QRect r) {
    return placed<FitLabel>(parent, name, r, caption);
}

// A label the program fills. Its size is fixed, so a new text does not ask
// its frame for a new layout: the clock changes its text every second.
QLabel* valueLabel(QWidget* parent, const char* name, QRect r) {
    auto* l = placed<FitLabel>(parent, name, r);
    l->setFixedSize(r.size());
    return l;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, QRect r) {
    return placed<QPushButton>(parent, name, r, caption);
}

// A drive list that lies below the client area and is never seen.
QComboBox* driveList(QWidget* parent, const char* name, QRect r) {
    auto* list = placed<QComboBox>(parent, name, r);
    list->hide();
    return list;
}

QTimer* timer(QObject* parent, const char* name, int interval) {
    auto* t = new QTimer(parent);
    t->setObjectName(QLatin1String(name));
    t->setInterval(interval);
    return t;
}

} // namespace

Ombrix2::Ombrix2(Forms& forms, Services services, QWidget* parent)
    : QMainWindow(parent), m_forms(forms), m_services(std::move(services)),
      m_cpuInfo(m_services.memory, m_services.version, m_services.cpu),
      Winsock1(std::make_unique<WinsockControl>(m_services.host)),
      Ombrix1(std::make_unique<SysInfoControl>(m_services.systemInfo)) {
    setObjectName(QStringLiteral("Ombrix2"));
    setWindowTitle(QStringLiteral("Ombrix"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    createLayout();
    createMenus();
    addCopyAction(this, [this] { return VisibleLines(SummaryLines(shownFacts())); });
    m_services.readings.watch(this, [this] { showCaption(); });
}

Ombrix2::~Ombrix2() = default;

void Ombrix2::createLayout() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twipsSize(6030, 5310));
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    Timer2 = timer(this, "Timer2", 5000);
    Frame7 = frame(client, "Frame7", QStringLiteral("Network"), twipsRect(3120, 3720, 2775, 615));
    Command3 = button(Frame7, "Command3", QStringLiteral("Check Network Info"),
                      twipsRect(120, 240, 2535, 255));
    Frame6 = frame(client, "Frame6", QStringLiteral("CPU?"), twipsRect(120, 360, 2895, 1095));
    lblVendor = valueLabel(Frame6, "lblVendor", twipsRect(1320, 480, 1455, 255));
    lblProcessor = valueLabel(Frame6, "lblProcessor", twipsRect(1320, 240, 1215, 255));
    label(Frame6, "Label16", QStringLiteral("Vendor:"), twipsRect(120, 480, 615, 255));
    label(Frame6, "label21", QStringLiteral("Processor:"), twipsRect(120, 240, 1095, 255));
    LblNormSpeed = valueLabel(Frame6, "LblNormSpeed", twipsRect(1320, 720, 1095, 255));
    label(Frame6, "Label13", QStringLiteral("Speed (Mhz):"), twipsRect(120, 720, 975, 255));
    Frame5 = frame(client, "Frame5", QStringLiteral("Printers?"), twipsRect(3120, 1320, 2775, 615));
    Command2 = button(Frame5, "Command2", QStringLiteral("Click Here To View Printers"),
                      twipsRect(120, 240, 2535, 255));
    Frame4 = frame(client, "Frame4", QStringLiteral("RAM?"), twipsRect(3120, 360, 2775, 855));
    label(Frame4, "Label18", QStringLiteral("MB"), twipsRect(1680, 480, 375, 255));
    label(Frame4, "Label17", QStringLiteral("MB"), twipsRect(1680, 240, 375, 255));
    lblRamAvail = valueLabel(Frame4, "lblRamAvail", twipsRect(960, 480, 1575, 255));
    lblRamTotal = valueLabel(Frame4, "lblRamTotal", twipsRect(960, 240, 855, 255));
    label(Frame4, "Label15", QStringLiteral("Available:"), twipsRect(120, 480, 1095, 255));
    label(Frame4, "Label14", QStringLiteral("Total:"), twipsRect(120, 240, 495, 255));
    Drive2 = driveList(client, "Drive2", twipsRect(120, 6480, 2415, 315));
    Command1 =
        button(client, "Command1", QStringLiteral("Refresh"), twipsRect(3960, 4560, 975, 255));
    Frame3 =
        frame(client, "Frame3", QStringLiteral("FDD Present?"), twipsRect(120, 4440, 2895, 615));
    Label9 = valueLabel(Frame3, "Label9", twipsRect(120, 240, 2175, 255));
    Frame2 = frame(client, "Frame2", QStringLiteral("HDD?"), twipsRect(120, 3720, 2895, 615));
    Command4 = button(Frame2, "Command4", QStringLiteral("Click For Hard-Drive Info"),
                      twipsRect(120, 240, 2655, 255));
    Drive1 = driveList(client, "Drive1", twipsRect(120, 6120, 2415, 315));
    Frame1 =
        frame(client, "Frame1", QStringLiteral("OS Information"), twipsRect(120, 2040, 5775, 1575));
    Label20 = valueLabel(Frame1, "Label20", twipsRect(1440, 960, 3495, 255));
    label(Frame1, "Label19", QStringLiteral("Computer Name:"), twipsRect(120, 960, 1215, 255));
    Label11 = valueLabel(Frame1, "Label11", twipsRect(1440, 1200, 1455, 255));
    label(Frame1, "Label10", QStringLiteral("IP Address:"), twipsRect(120, 1200, 855, 255));
    label(Frame1, "Label2", QStringLiteral("OS Version:"), twipsRect(120, 480, 975, 255));
    Label3 = valueLabel(Frame1, "Label3", twipsRect(1440, 480, 975, 255));
    label(Frame1, "Label4", QStringLiteral("OS Build:"), twipsRect(120, 720, 735, 255));
    Label5 = valueLabel(Frame1, "Label5", twipsRect(1440, 720, 855, 255));
    label(Frame1, "Label6", QStringLiteral("OS Platform:"), twipsRect(120, 240, 975, 255));
    LblOS = valueLabel(Frame1, "LblOS", twipsRect(1440, 240, 4215, 255));
    Timer1 = timer(this, "Timer1", 0);
    // The clock is re-armed for each next second, so it wakes once a second.
    Timer1->setSingleShot(true);
    Timer1->setTimerType(Qt::PreciseTimer);
    Label1 = valueLabel(client, "Label1", twipsRect(2760, 0, 735, 255));
    label(client, "Label7", QStringLiteral("Ombrix, by the Ombrix developers"),
          twipsRect(3360, 5040, 2535, 255));

    auto wire = [this](QPushButton* b, void (Ombrix2::*handler)()) {
        connect(b, &QPushButton::clicked, this,
                [this, handler] { handle([&] { (this->*handler)(); }); });
    };
    wire(Command1, &Ombrix2::Command1_Click);
    wire(Command2, &Ombrix2::Command2_Click);
    wire(Command3, &Ombrix2::Command3_Click);
    wire(Command4, &Ombrix2::Command4_Click);
    connect(Timer1, &QTimer::timeout, this, [this] { handle([&] { Timer1_Timer(); }); });
    connect(Timer2, &QTimer::timeout, this, [this] { handle([&] { Timer2_Timer(); }); });
}

void Ombrix2::createMenus() {
    auto action = [this](QMenu* menu, const char* name, const QString& caption, QKeySequence keys,
                         void (Ombrix2::*handler)()) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(keys);
        connect(a, &QAction::triggered, this,
                [this, handler] { handle([&] { (this->*handler)(); }); });
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File"));
    action(file, "About", QStringLiteral("&About"), QKeySequence(Qt::CTRL | Qt::Key_A),
           &Ombrix2::About_Click);
    if (m_services.showComputers)
        action(file, "Computers", QStringLiteral("&Computers…"), {}, &Ombrix2::Computers_Click);
    action(file, "Exit", QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_E),
           &Ombrix2::Exit_Click);
    QMenu* system = menuBar()->addMenu(QStringLiteral("&System Monitor"));
    system->setObjectName(QStringLiteral("System"));
    action(system, "Execute", QStringLiteral("&Execute"), {}, &Ombrix2::Execute_Click);
}

void Ombrix2::Form_Load() {
    GetInfo();
    SummaryFacts host;
    ReadHostFacts(*Winsock1, host);
    Label11->setText(host.ipAddress);
    Label20->setText(host.computerName);
    m_caption =
        QStringLiteral("Ombrix for ") + Winsock1->get(WinsockControl::LocalHostName).toString();
    showCaption();
    for (QGroupBox* box : {Frame1, Frame2, Frame3, Frame4, Frame5, Frame6, Frame7}) {
        // Only the caption turns bold; the frame's controls keep the window's font.
        // An explicit weight, or the children would inherit the bold one.
        QFont plain = box->font();
        plain.setBold(false);
        QFont bold = plain;
        bold.setBold(true);
        box->setFont(bold);
        for (QWidget* child : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            child->setFont(plain);
    }
    readOsVersionAndBuild();
    selectFloppyDrive(true);

    // Both timers tick once the load step has ended and the window is up.
    Timer1->start(0);
    Timer2->start();
}

void Ombrix2::showMemory(const SummaryFacts& facts) {
    // A figure the system cannot tell is never shown as zero: the labels keep
    // their last reading, or stay empty.
    if (facts.totalMb.isEmpty())
        return;
    lblRamTotal->setText(facts.totalMb);
    lblRamAvail->setText(facts.availableMb);
}

void Ombrix2::GetInfo() {
    SummaryFacts facts;
    ReadGetInfoFacts(m_cpuInfo, facts);
    showMemory(facts);
    lblProcessor->setText(facts.processor);
    lblVendor->setText(facts.vendor);
    LblNormSpeed->setText(facts.speedMhz);
    LblOS->setText(facts.osPlatform);
    showNotCarried();
}

SummaryFacts Ombrix2::shownFacts() const {
    SummaryFacts facts;
    facts.osPlatform = LblOS->text();
    facts.osVersion = Label3->text();
    facts.osBuild = Label5->text();
    facts.computerName = Label20->text();
    facts.ipAddress = Label11->text();
    facts.processor = lblProcessor->text();
    facts.vendor = lblVendor->text();
    facts.speedMhz = LblNormSpeed->text();
    facts.totalMb = lblRamTotal->text();
    facts.availableMb = lblRamAvail->text();
    facts.fddPresent = !Label9->text().isEmpty();
    return facts;
}

void Ombrix2::readOsVersionAndBuild() {
    SummaryFacts facts;
    ReadOsVersionFacts(*Ombrix1, QLocale(), facts);
    Label3->setText(facts.osVersion);
    Label5->setText(facts.osBuild);
}

void Ombrix2::selectFloppyDrive(bool showPresence) {
    // Without drive A: nothing changes.
    if (!FloppyPresent(m_services.floppy))
        return;
    if (Drive2->count() == 0)
        Drive2->addItem(QStringLiteral("a:"));
    if (showPresence)
        Label9->setText(QStringLiteral("Yes"));
}

void Ombrix2::Timer1_Timer() {
    // One reading of the clock serves the text and the next wake-up. The
    // milliseconds are rounded down, so the clock never wakes before the
    // boundary.
    const QTime now = m_services.clock.now().time();
    Label1->setText(clockText(now));
    Timer1->start(1000 - now.msec());
}

void Ombrix2::showCaption() {
    const bool silent = !m_services.readings.answering();
    // The host name, from the machine or its collector, reads in its order.
    setWindowTitle(ShownText(silent ? m_caption + QStringLiteral(" (not answering)") : m_caption));
}

void Ombrix2::Timer2_Timer() {
    m_services.readings.refresh(this, [this] { showReadings(); });
}

void Ombrix2::showReadings() {
    SummaryFacts memory;
    ReadMemoryFacts(m_cpuInfo, memory);
    showMemory(memory);
    auto speed = modCPUInfo::zeroBuffer();
    m_cpuInfo.GetProcessorNormSpeed(speed);
    LblNormSpeed->setText(StripZero(modCPUInfo::bufferText(speed)));
    showNotCarried();
}

void Ombrix2::showNotCarried() {
    if (m_services.notCarried)
        ShowNotCarriedLine(*centralWidget(), twips(120), twips(5310), twips(5790),
                           NotCarriedLine(m_services.notCarried(), QStringLiteral("summary")));
}

void Ombrix2::Command1_Click() {
    readOsVersionAndBuild();
    selectFloppyDrive(false);
}

void Ombrix2::Command2_Click() {
    m_services.printerInstall.call(PrinterInstallControl::ShowPrinters);
}

namespace {
QWidget* requireForm(QWidget* form, const char* name) {
    if (!form)
        throw platform::PlatformError(std::string("The window ") + name + " is not available");
    return form;
}
} // namespace

void Ombrix2::Command3_Click() {
    requireForm(m_forms.show<frmNetCheck>(), "frmNetCheck");
}

void Ombrix2::Command4_Click() {
    requireForm(m_forms.show<Drive>(), "Drive");
}

void Ombrix2::About_Click() {
    requireForm(m_forms.show<frmAbout>(), "frmAbout");
}

void Ombrix2::Exit_Click() {
    m_services.endProgram();
}

void Ombrix2::Computers_Click() {
    m_services.showComputers();
}

void Ombrix2::Execute_Click() {
    auto* monitor = m_forms.get<sysmon>();
    requireForm(monitor, "sysmon");
    monitor->enableProperties();
    m_forms.show<sysmon>();
}

} // namespace ombrix
