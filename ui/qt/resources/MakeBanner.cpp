// Draws the main window's banner picture (resources/banner.png): a wheel
// with radio waves and the program's name, at twice the size the window
// shows it. Run through the build target `banner-picture`; the picture is
// kept in the sources so that a build needs no display or font.
//
//   fota-make-banner OUTPUT.png

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fota-make-banner OUTPUT.png\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    constexpr int kScale = 2;
    constexpr int kWidth = 273 * kScale;
    constexpr int kHeight = 34 * kScale;
    QImage image(kWidth, kHeight, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // Rounded band, dark blue to teal.
    QLinearGradient band(0, 0, kWidth, 0);
    band.setColorAt(0.0, QColor(12, 52, 110));
    band.setColorAt(1.0, QColor(0, 140, 150));
    QPainterPath frame;
    frame.addRoundedRect(QRectF(1, 1, kWidth - 2, kHeight - 2), 12, 12);
    p.fillPath(frame, band);

    // A wheel: rim, hub and spokes.
    const QPointF hub(kHeight / 2.0 + 4, kHeight / 2.0);
    const double rim = kHeight / 2.0 - 9;
    p.setPen(QPen(Qt::white, 5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(hub, rim, rim);
    p.setPen(QPen(Qt::white, 2));
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4;
        p.drawLine(hub, hub + QPointF(std::cos(a) * rim, std::sin(a) * rim));
    }
    p.setBrush(Qt::white);
    p.drawEllipse(hub, 5, 5);

    // Radio waves leaving the wheel.
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        const double r = rim + 10 + i * 9;
        p.setPen(QPen(QColor(255, 255, 255, 220 - i * 60), 4, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(hub.x() - r, hub.y() - r, 2 * r, 2 * r), -35 * 16, 70 * 16);
    }

    // The name.
    QFont name("DejaVu Sans");
    name.setPixelSize(30);
    name.setBold(true);
    p.setFont(name);
    p.setPen(Qt::white);
    const QRectF text(kHeight + 52, 0, kWidth - kHeight - 60, kHeight);
    p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft, "FOTA");
    QFont tag("DejaVu Sans");
    tag.setPixelSize(17);
    p.setFont(tag);
    p.setPen(QColor(220, 240, 255));
    p.drawText(text.adjusted(100, 3, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
               "firmware over the air");
    p.end();

    if (!image.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "fota-make-banner: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
