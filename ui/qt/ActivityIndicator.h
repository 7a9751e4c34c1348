#pragma once
// A busy indicator: a ring of sectors, one of them dark, turning while the
// indicator animates; nothing is drawn while it is still.

#include <QTimer>
#include <QWidget>

namespace fota::qt {

class ActivityIndicator : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSectors = 12;

    explicit ActivityIndicator(QWidget* parent = nullptr);

    void setAnimate(bool on);
    bool animate() const { return timer_.isActive(); }
    // The sector drawn darkest now (0 .. kSectors - 1).
    int frame() const { return frame_; }

    QSize sizeHint() const override { return {32, 32}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer timer_;
    int frame_ = 0;
};

}  // namespace fota::qt
