#pragma once
#include <QDialog>

class QLabel;
class QPushButton;

namespace ombrix {

class EtchedRule;

// The About box: the program's title, version and description, and a notice.
// "OK", Enter, Escape and the close box all unload it.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    void Form_Load();

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void cmdOK_Click();

    QLabel* lblDescription = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QPushButton* cmdOK = nullptr;
    QLabel* Label1 = nullptr;
    EtchedRule* Line1 = nullptr;
};

} // namespace ombrix
