#pragma once
#include "app/NotCarriedLine.h"

#include <QMainWindow>

class QLabel;
class QLineEdit;

namespace ombrix {
class Forms;
struct DriveLines;
namespace platform {
class FileSystem;
}

// The drive details window: typing a drive letter reports that drive's type,
// serial number, total size and free space.
class Drive : public QMainWindow {
    Q_OBJECT
public:
    // notCarried: another computer's facts that cannot be known, named in a
    // line under the drive's.
    Drive(platform::FileSystem& fileSystem, Forms& forms, NotCarriedSource notCarried = {},
          QWidget* parent = nullptr);

    // First report, for the drive text "Text1", then the window-wide key handling.
    void Form_Load();
    // Starts a report for the drive text. The drive is asked off the
    // user-interface thread; the lines change when its answer comes, unless
    // a later report has been started meanwhile.
    void GetDriveInfo();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Close_Click();
    void Form_KeyPress(const QString& typed);
    void showReport(const DriveLines& lines);

    platform::FileSystem& m_fileSystem;
    Forms& m_forms;
    NotCarriedSource m_notCarried;
    bool m_keyPreview = false;
    quint64 m_lastReport = 0; // the report whose answer the lines await
    QLabel* LblDrive = nullptr;
    QLabel* LblSN = nullptr;
    QLabel* LblTot = nullptr;
    QLabel* LblFree = nullptr;
    QLabel* lblWithoutLetter = nullptr; // says how many volumes got no letter
    QLineEdit* Text1 = nullptr;
};

} // namespace ombrix
