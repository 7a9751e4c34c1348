#pragma once
// A walk through one upgrade against the simulated trainer that answers every
// dialog by itself and saves a picture at each stop, for the documentation:
//
//   agreement.png            the agreement at start-up
//   ready.png                the window ready to start
//   settings-computer.png    the channel settings dialog, both pages
//   settings-trainer.png
//   upgrading.png            an upgrade under way, with its progress bar
//   upgrading-full.png       the same window at its designed height (log box)
//   finished.png             the window at the end of a successful upgrade
//   finished-message.png     the message it shows then
//   download-dialog.png      the software-download dialog
//
// Anything else that asks the user is saved as unexpected-N.png and answered
// with its default; the tour gives up after ten minutes.

#include <QDir>
#include <QObject>
#include <QTimer>
#include <functional>

namespace fota::qt {
class TForm1;
class TForm2;
}  // namespace fota::qt

namespace fota::app {

class ScreenshotTour : public QObject {
    Q_OBJECT
public:
    ScreenshotTour(qt::TForm1& window, const QString& folder);

    void setChannelSettingsDialog(qt::TForm2* dialog) { settings_ = dialog; }
    // Starts watching; call before the window's start-up (the agreement).
    void start();
    // False when a picture could not be saved or the tour gave up.
    bool succeeded() const { return ok_; }

private:
    enum class Step { Agreement, Ready, Settings, Upgrade, Finished, Download, Done };

    void tick();
    void save(QWidget& widget, const QString& name);
    bool handleModal(QWidget* modal);
    // True once `ms` milliseconds passed since the step began.
    bool after(int ms) const;
    void next(Step step);

    qt::TForm1& window_;
    qt::TForm2* settings_ = nullptr;
    QDir folder_;
    QTimer timer_;
    Step step_ = Step::Agreement;
    qint64 stepStart_ = 0;
    qint64 begin_ = 0;
    int substep_ = 0;
    int unexpected_ = 0;
    bool ok_ = true;
};

}  // namespace fota::app
