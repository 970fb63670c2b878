#include "app/ApplicationStyle.h"

#include <QGroupBox>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>
#include <qdrawutil.h>

#include <algorithm>

namespace ombrix {
namespace {

// One standard icon of a style, asked of it on first use.
class DeferredIcon final : public QIconEngine {
public:
    DeferredIcon(const QStyle* style, QStyle::StandardPixmap which)
        : m_style(style), m_which(which) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        return icon().pixmap(size, scale, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }
    // A style's standard icon is there; asking would make it.
    bool isNull() override { return m_icon && m_icon->isNull(); }
    QString key() const override { return QStringLiteral("ombrix.deferred"); }
    QIconEngine* clone() const override { return new DeferredIcon(*this); }

private:
    const QIcon& icon() {
        if (!m_icon)
            m_icon = m_style ? m_style->standardIcon(m_which) : QIcon();
        return *m_icon;
    }

    QPointer<const QStyle> m_style;
    QStyle::StandardPixmap m_which;
    std::optional<QIcon> m_icon;
};

// How far the Fusion style's group-box frame starts below the box's top, for
// a box with a title, and how wide each edge of its image is.
constexpr int kFusionGroupBoxTopMargin = 3;
constexpr QMargins kFusionGroupBoxEdges(6, 6, 6, 6);

} // namespace

QIcon ApplicationStyle::standardIcon(StandardPixmap which, const QStyleOption* option,
                                     const QWidget* widget) const {
    // The option and the widget only say which way text runs, which the
    // application's direction says as well; they may be gone by first use.
    Q_UNUSED(option);
    Q_UNUSED(widget);
    return QIcon(new DeferredIcon(baseStyle(), which));
}

const QPixmap& ApplicationStyle::groupBoxFrame() const {
    if (!m_groupBoxFrame) {
        m_groupBoxFrame.emplace();
        if (baseStyle()->inherits("QFusionStyle")) {
            QImageReader reader(
                QStringLiteral(":/qt-project.org/styles/commonstyle/images/fusion_groupbox.png"),
                "png");
            reader.setAutoDetectImageFormat(false);
            *m_groupBoxFrame = QPixmap::fromImage(reader.read());
        }
    }
    return *m_groupBoxFrame;
}

void ApplicationStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                     QPainter* painter, const QWidget* widget) const {
    // The frame as Fusion draws it for a box with a title, from the same
    // image; anything else, or an image not found, is left to the style.
    const auto* box = qobject_cast<const QGroupBox*>(widget);
    if (element == PE_FrameGroupBox && box && !box->title().isEmpty() &&
        !groupBoxFrame().isNull()) {
        const int top =
            std::max(baseStyle()->pixelMetric(PM_ExclusiveIndicatorHeight, option, widget),
                     option->fontMetrics.height()) +
            kFusionGroupBoxTopMargin;
        qDrawBorderPixmap(painter, option->rect.adjusted(0, top, 0, 0), kFusionGroupBoxEdges,
                          groupBoxFrame());
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

} // namespace ombrix
