#include "ui/qt/ActivityIndicator.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace fota::qt {

ActivityIndicator::ActivityIndicator(QWidget* parent) : QWidget(parent) {
    resize(sizeHint());
    timer_.setInterval(80);
    connect(&timer_, &QTimer::timeout, this, [this] {
        frame_ = (frame_ + 1) % kSectors;
        update();
    });
}

void ActivityIndicator::setAnimate(bool on) {
    if (on == animate()) {
        return;
    }
    if (on) {
        timer_.start();
    } else {
        timer_.stop();
    }
    update();
}

void ActivityIndicator::paintEvent(QPaintEvent*) {
    if (!animate()) {
        return;
    }
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(width(), height());
    const QPointF centre(width() / 2.0, height() / 2.0);
    const qreal outer = side / 2.0 - 1.0;
    const qreal inner = outer * 0.55;
    const qreal span = 360.0 / kSectors;
    const qreal gap = 6.0;  // degrees between sectors
    const QRectF outerBox(centre.x() - outer, centre.y() - outer, 2 * outer, 2 * outer);
    const QRectF innerBox(centre.x() - inner, centre.y() - inner, 2 * inner, 2 * inner);
    for (int i = 0; i < kSectors; ++i) {
        // Clockwise from the top; the sectors behind the dark one fade out.
        const int behind = (frame_ - i + kSectors) % kSectors;
        const int alpha = std::max(40, 255 - behind * 36);
        const qreal start = 90.0 - i * span - gap / 2.0;
        const qreal sweep = -(span - gap);
        QPainterPath sector;
        sector.arcMoveTo(outerBox, start);
        sector.arcTo(outerBox, start, sweep);
        sector.arcTo(innerBox, start + sweep, -sweep);
        sector.closeSubpath();
        p.fillPath(sector, QColor(0, 90, 170, alpha));
    }
}

}  // namespace fota::qt
