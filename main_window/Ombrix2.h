#pragma once
#include "app/NotCarriedLine.h"
#include "main_window/modCPUInfo.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;

namespace ombrix {
class Forms;
struct SummaryFacts;
namespace platform {
class Clock;
class ComputerReadings;
class Dispatch;
class FloppyDrive;
class HostInfoProvider;
class SystemInfoProvider;
} // namespace platform

// The main window: the system summary, the live clock and readings, and the
// commands that open every other window.
class Ombrix2 : public QMainWindow {
    Q_OBJECT
public:
    struct Services {
        platform::MemoryStatusProvider& memory;
        platform::VersionQuery& version;
        platform::CpuLibrary& cpu;
        platform::HostInfoProvider& host;
        platform::SystemInfoProvider& systemInfo;
        platform::FloppyDrive& floppy;
        platform::Dispatch& printerInstall;
        platform::Clock& clock;
        std::function<void()> endProgram; // ends at once, no unload handling
        // Memory and speed are taken again through it, and the caption says
        // when the computer does not answer.
        platform::ComputerReadings& readings;
        // Shows the Computers window; none: the menu has no entry for it.
        std::function<void()> showComputers = nullptr;
        // Another computer's facts that cannot be known, named in a line
        // under the summary; none for this computer.
        NotCarriedSource notCarried = {};
    };

    Ombrix2(Forms& forms, Services services, QWidget* parent = nullptr);
    ~Ombrix2() override;

    void Form_Load();
    void GetInfo();

    // The facts as the value labels show them now.
    SummaryFacts shownFacts() const;

    // Timer handlers, public so that tests can tick them with a fake clock.
    void Timer1_Timer();
    // Memory and speed: asked for, and shown once the readings are fresh.
    void Timer2_Timer();

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void About_Click();
    void Exit_Click();
    void Execute_Click();
    void Computers_Click();

private:
    void createLayout();
    void createMenus();
    void showMemory(const SummaryFacts& facts);
    void showReadings();
    // The line naming the facts of another computer that cannot be known.
    void showNotCarried();
    void showCaption();
    void readOsVersionAndBuild();
    void selectFloppyDrive(bool showPresence);

    Forms& m_forms;
    Services m_services;
    QString m_caption; // without the note on a computer that does not answer
    modCPUInfo m_cpuInfo;
    std::unique_ptr<platform::Dispatch> Winsock1;
    std::unique_ptr<platform::Dispatch> Ombrix1;

    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QGroupBox* Frame5 = nullptr;
    QGroupBox* Frame6 = nullptr;
    QGroupBox* Frame7 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label20 = nullptr;
    QLabel* LblOS = nullptr;
    QLabel* lblProcessor = nullptr;
    QLabel* lblVendor = nullptr;
    QLabel* LblNormSpeed = nullptr;
    QLabel* lblRamTotal = nullptr;
    QLabel* lblRamAvail = nullptr;
    QComboBox* Drive1 = nullptr;
    QComboBox* Drive2 = nullptr;
};

} // namespace ombrix
