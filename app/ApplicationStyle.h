#pragma once
#include <QPixmap>
#include <QProxyStyle>

#include <optional>

namespace ombrix {

// The application's style: the platform's own, except for the images it
// reads. Qt reads a style's images, PNG files, only after loading every
// image-format plugin there is to ask each of them, which costs start-up
// time and memory: so standard icons are made only when first drawn (the
// main window's menu bar asks for one, its overflow button, that it never
// shows), and the group-box frame of the Fusion style is read as PNG.
class ApplicationStyle final : public QProxyStyle {
    Q_OBJECT
public:
    using QProxyStyle::QProxyStyle;
    QIcon standardIcon(StandardPixmap which, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

private:
    // The Fusion style's nine-part image of a group box's frame, or a null
    // pixmap under another style.
    const QPixmap& groupBoxFrame() const;
    mutable std::optional<QPixmap> m_groupBoxFrame;
};

} // namespace ombrix
