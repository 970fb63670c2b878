#include "about/frmAbout.h"

#include "about/EtchedRule.h"
#include "app/AppTitle.h"
#include "app/Twips.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace ombrix {
namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QRect& rect) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(rect);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

void setBlackText(QLabel* label) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
}

// The layout is given for a small system font; a larger font must make a
// label taller, never clip its text.
void growToFit(QLabel* label) {
    const int needed = label->heightForWidth(label->width());
    label->resize(label->width(), std::max(label->height(), needed));
}

} // namespace

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    // Created in tab order.
    lblDescription = makeLabel(this, "lblDescription", twipsRect(1050, 1125, 3885, 570));
    lblDescription->setText(tr("This program is designed to gather information on your system "
                               "including the operating system."));
    setBlackText(lblDescription);
    lblTitle = makeLabel(this, "lblTitle", twipsRect(1050, 240, 3885, 240));
    setBlackText(lblTitle);
    lblVersion = makeLabel(this, "lblVersion", twipsRect(1050, 600, 3885, 225));
    cmdOK = new QPushButton(tr("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twipsRect(4440, 2520, 1260, 345));
    cmdOK->setDefault(true);
    Label1 = makeLabel(this, "Label1", twipsRect(120, 2520, 4215, 855));
    Label1->setText(tr("Ombrix is free software, written by the Ombrix developers. "
                       "You may copy it and share it with others."));

    Line1 = new EtchedRule(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->addElement(90, 5654, 2445, QColor(128, 128, 128), 1);
    Line1->addElement(105, 5654, 2460, Qt::white, 2);

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    // The client area opens at a fixed place on the screen; the box cannot be
    // resized.
    setGeometry(QRect(QPoint(twips(2340), twips(1935)), twipsSize(5730, 3555)));
    setFixedSize(twipsSize(5730, 3555));
    setSizeGripEnabled(false);
}

void frmAbout::Form_Load() {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(tr("About ") + appTitle());
    lblVersion->setText(tr("Version 1.0"));
    lblTitle->setText(appTitle());
    for (QLabel* label : {lblDescription, lblTitle, lblVersion, Label1})
        growToFit(label);
}

void frmAbout::cmdOK_Click() {
    close();
}

// Escape and the close box end the same way as "OK": the box unloads.
void frmAbout::reject() {
    close();
}

void frmAbout::closeEvent(QCloseEvent* event) {
    event->accept();
}

} // namespace ombrix
