#pragma once
#include <QMainWindow>

class QLabel;
class QLineEdit;

namespace ombrix {
class Forms;
namespace platform {
class FileSystem;
}

// The drive details window: typing a drive letter reports that drive's type,
// serial number, total size and free space.
class Drive : public QMainWindow {
    Q_OBJECT
public:
    Drive(platform::FileSystem& fileSystem, Forms& forms, QWidget* parent = nullptr);

    // First report, for the drive text "Text1", then the window-wide key handling.
    void Form_Load();
    void GetDriveInfo();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Close_Click();
    void Form_KeyPress(const QString& typed);
    void fitReport();

    platform::FileSystem& m_fileSystem;
    Forms& m_forms;
    bool m_keyPreview = false;
    QLabel* LblDrive = nullptr;
    QLabel* LblSN = nullptr;
    QLabel* LblTot = nullptr;
    QLabel* LblFree = nullptr;
    QLineEdit* Text1 = nullptr;
};

} // namespace ombrix
