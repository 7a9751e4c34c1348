#include "app/fota/ScreenshotTour.h"

#include <QApplication>
#include <QDateTime>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <cstdio>

#include "ui/qt/ChannelSettingsForm.h"
#include "ui/qt/FormAgreement.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/frmDownloadSw.h"

namespace fota::app {

namespace {
constexpr qint64 kGiveUpMs = 10 * 60 * 1000;
qint64 nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}
}  // namespace

ScreenshotTour::ScreenshotTour(qt::TForm1& window, const QString& folder)
    : window_(window), folder_(folder) {
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, &ScreenshotTour::tick);
}

void ScreenshotTour::start() {
    if (!folder_.exists() && !QDir().mkpath(folder_.path())) {
        std::fprintf(stderr, "fota: cannot create %s\n", qPrintable(folder_.path()));
        ok_ = false;
    }
    begin_ = stepStart_ = nowMs();
    timer_.start();
}

bool ScreenshotTour::after(int ms) const {
    return nowMs() - stepStart_ >= ms;
}

void ScreenshotTour::next(Step step) {
    step_ = step;
    stepStart_ = nowMs();
    substep_ = 0;
}

void ScreenshotTour::save(QWidget& widget, const QString& name) {
    const QString path = folder_.filePath(name);
    if (!widget.grab().save(path, "PNG")) {
        std::fprintf(stderr, "fota: cannot save %s\n", qPrintable(path));
        ok_ = false;
        return;
    }
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
}

void ScreenshotTour::tick() {
    if (nowMs() - begin_ > kGiveUpMs) {
        std::fprintf(stderr, "fota: the screenshot tour gave up at step %d\n",
                     static_cast<int>(step_));
        ok_ = false;
        timer_.stop();
        window_.TerminateProgram(1);
        return;
    }
    if (QWidget* modal = QApplication::activeModalWidget()) {
        // Give a dialog a moment to be drawn before it is pictured.
        if (modal->property("fotaTourSeen").toBool() && handleModal(modal)) {
            return;
        }
        modal->setProperty("fotaTourSeen", true);
        return;
    }

    switch (step_) {
        case Step::Agreement:
            break;  // ends in handleModal
        case Step::Ready:
            if (window_.isVisible() && after(800)) {
                save(window_, "ready.png");
                next(Step::Settings);
            }
            break;
        case Step::Settings:
            if (!settings_) {
                next(Step::Upgrade);
                break;
            }
            if (substep_ == 0) {
                window_.Button1->click();  // "Config Channel"
                ++substep_;
            } else if (substep_ == 1 && after(600)) {
                save(*settings_, "settings-computer.png");
                settings_->PageControl1->setCurrentIndex(1);
                ++substep_;
            } else if (substep_ == 2 && after(900)) {
                save(*settings_, "settings-trainer.png");
                settings_->PageControl1->setCurrentIndex(0);
                settings_->Btn_CancelClick();
                next(Step::Upgrade);
            }
            break;
        case Step::Upgrade:
            if (substep_ == 0 && after(300)) {
                window_.Btn_Start->click();
                ++substep_;
            } else if (substep_ == 1) {
                const QProgressBar& bar = *window_.ProgressBar1;
                if (window_.lblStatus->text().startsWith("Step") &&
                    bar.value() * 100 >= bar.maximum() * 45) {
                    save(window_, "upgrading.png");
                    // The designed height shows the log box below the strip.
                    const QSize strip = window_.size();
                    window_.setFixedSize(qt::TForm1::kClientWidth, qt::TForm1::kClientHeight);
                    save(window_, "upgrading-full.png");
                    window_.setFixedSize(strip);
                    next(Step::Finished);
                }
            }
            break;
        case Step::Finished:
        case Step::Download:
            break;  // end in handleModal
        case Step::Done:
            break;
    }
}

bool ScreenshotTour::handleModal(QWidget* modal) {
    if (auto* agreement = qobject_cast<qt::TFormAgreement*>(modal)) {
        save(*agreement, "agreement.png");
        agreement->btnAgree->click();
        next(Step::Ready);
        return true;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        if (box->text() == "Firmware Upgraded Successfully!") {
            save(window_, "finished.png");
            save(*box, "finished-message.png");
            next(Step::Download);
        } else {
            save(*box, QString("unexpected-%1.png").arg(++unexpected_));
            std::fprintf(stderr, "fota: unexpected message: %s\n", qPrintable(box->text()));
        }
        box->accept();
        return true;
    }
    if (auto* download = qobject_cast<qt::TfrmDownloadSw*>(modal)) {
        save(*download, "download-dialog.png");
        download->btnClose->click();
        next(Step::Done);
        return true;
    }
    if (auto* input = qobject_cast<QInputDialog*>(modal)) {
        save(*input, QString("unexpected-%1.png").arg(++unexpected_));
        input->setTextValue("0");
        input->accept();
        return true;
    }
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        save(*dialog, QString("unexpected-%1.png").arg(++unexpected_));
        dialog->accept();
        return true;
    }
    return false;
}

}  // namespace fota::app
