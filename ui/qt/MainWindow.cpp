#include "ui/qt/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/Clock.h"
#include "platform/MakerInfo.h"
#include "ui/qt/ActivityIndicator.h"
#include "ui/qt/ChannelSettingsForm.h"
#include "ui/qt/Fonts.h"
#include "ui/qt/FormAgreement.h"
#include "ui/qt/frmDownloadSw.h"

// The window's resources (the banner) live in the static library.
static void initFotaResources() {
    Q_INIT_RESOURCE(fota);
}

namespace fota::qt {

namespace {

// A timer interval of the time base in real milliseconds.
int realInterval(const Clock& clock, int protocolMs) {
    const auto* real = dynamic_cast<const RealClock*>(&clock);
    const double speed = real ? real->speed() : 1.0;
    return std::max(1, static_cast<int>(std::lround(protocolMs / speed)));
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, QRect place) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setGeometry(place);
    return b;
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, QPoint place) {
    auto* l = new QLabel(caption, parent);
    l->setObjectName(name);
    l->setTextFormat(Qt::PlainText);
    l->move(place);
    l->adjustSize();
    return l;
}

}  // namespace

TForm1::TForm1(ant::AntLibrary& library, Clock& clock, QWidget* parent)
    : QWidget(parent,
#ifdef Q_OS_WIN
              Qt::Window | Qt::MSWindowsFixedSizeDialogHint |
#else
              Qt::Window |
#endif
                  Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                  Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      endProgram_([](int code) { QCoreApplication::exit(code); }) {
    initFotaResources();
    setObjectName("Form1");
    setWindowTitle("FOTA");
    setFont(windowFont(11, false));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    setClientSize(normalSize_);

    form_ = std::make_unique<TMainForm>(*this, library, clock);
    createControls();

    // The pump runs from the window's creation; the state poll when told.
    tmrProcessANTMessage = new QTimer(this);
    tmrProcessANTMessage->setObjectName("tmrProcessANTMessage");
    tmrProcessANTMessage->setTimerType(Qt::PreciseTimer);
    tmrProcessANTMessage->setInterval(realInterval(clock, 300));
    connect(tmrProcessANTMessage, &QTimer::timeout, this,
            [this] { form_->tmrProcessANTMessageTimer(); });
    tmrProcessANTMessage->start();

    TimerStatoProcesso = new QTimer(this);
    TimerStatoProcesso->setObjectName("TimerStatoProcesso");
    TimerStatoProcesso->setTimerType(Qt::PreciseTimer);
    TimerStatoProcesso->setInterval(realInterval(clock, 1000));
    connect(TimerStatoProcesso, &QTimer::timeout, this,
            [this] { form_->TimerStatoProcessoTimer(); });
}

TForm1::~TForm1() {
    destroying_ = true;
    tmrProcessANTMessage->stop();
    TimerStatoProcesso->stop();
    form_->FormDestroy();
    form_.reset();  // stops and joins the worker, releases the library
}

void TForm1::createControls() {
    lblTitolo = label(this, "lblTitolo", "Mova Trainer Firmware Update", {24, 8});
    lblTitolo->setFont(windowFont(19, true));
    lblTitolo->adjustSize();

    img1 = new QLabel(this);
    img1->setObjectName("img1");
    img1->setGeometry(32, 50, 273, 34);
    img1->setScaledContents(true);
    img1->setPixmap(QPixmap(":/fota/banner.png"));

    lblStatus = new QLabel("Ready to start", this);
    lblStatus->setObjectName("lblStatus");
    lblStatus->setTextFormat(Qt::PlainText);
    lblStatus->setFont(windowFont(13, true));
    lblStatus->setGeometry(8, 103, kClientWidth - 8, 17);

    Btn_Start = button(this, "Btn_Start", "Upgrade Trainer", {351, 8, 105, 44});
    connect(Btn_Start, &QPushButton::clicked, this, [this] { form_->Btn_StartClick(); });

    actvtyndctr1 = new ActivityIndicator(this);
    actvtyndctr1->setObjectName("actvtyndctr1");
    actvtyndctr1->setGeometry(388, 55, 32, 32);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setGeometry(8, 125, 329, 21);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    Btn_Stop = button(this, "Btn_Stop", "Close", {353, 121, 105, 25});
    Btn_Stop->setEnabled(false);
    connect(Btn_Stop, &QPushButton::clicked, this, [this] { form_->Btn_StopClick(); });

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setGeometry(6, 152, 450, 287);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setPlainText("");  // one empty line; every log line is appended after it

    // Diagnostic controls: all hidden but btn1 and lnklbl1, which sit in the
    // lower part that start-up cuts off.
    Button1 = button(this, "Button1", "Config Channel", {480, 8, 105, 25});
    Button2 = button(this, "Button2", "Select Console", {480, 39, 105, 25});
    Button3 = button(this, "Button3", "MAX Resistance", {480, 70, 105, 25});
    Button5 = button(this, "Button5", "Fw Version", {480, 101, 105, 25});
    Button7 = button(this, "Button7", "Send Firmware", {209, 8, 105, 25});
    for (QPushButton* b : {Button1, Button2, Button3, Button5, Button7}) {
        b->setVisible(false);
    }
    connect(Button1, &QPushButton::clicked, this, [this] {
        if (channelSettings_) {
            channelSettings_->show();
            channelSettings_->raise();
            channelSettings_->activateWindow();
        }
    });
    connect(Button2, &QPushButton::clicked, this, [this] { form_->Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { form_->Button3Click(); });
    connect(Button5, &QPushButton::clicked, this, [this] { form_->Button5Click(); });
    connect(Button7, &QPushButton::clicked, this, [this] { form_->Button7Click(); });

    btn1 = button(this, "btn1", "btn1", {368, 410, 75, 25});
    connect(btn1, &QPushButton::clicked, this, [this] { form_->btn1Click(); });

    lnklbl1 = new QLabel(this);
    lnklbl1->setObjectName("lnklbl1");
    lnklbl1->setTextFormat(Qt::RichText);
    lnklbl1->setText(QString("<a href=\"%1\">SomeLink</a>").arg(maker::kServiceLink));
    lnklbl1->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    lnklbl1->move(300, 415);
    lnklbl1->adjustSize();
    connect(lnklbl1, &QLabel::linkActivated, this, [](const QString& target) {
        const QUrl url(target);
        if (url.isValid() && !url.scheme().isEmpty()) {
            QDesktopServices::openUrl(url);  // the outcome is ignored
        }
    });
    btn1->raise();
    lnklbl1->raise();

    // Hidden controls read by the start sequence and the trainer-type switch.
    Label7 = label(this, "Label7", "USB Port No.:", {342, 66});
    Label7->setVisible(false);
    Spin_ChannelID = new QSpinBox(this);
    Spin_ChannelID->setObjectName("Spin_ChannelID");
    Spin_ChannelID->setRange(0, 7);
    Spin_ChannelID->setGeometry(415, 62, 41, 22);
    Spin_ChannelID->setVisible(false);
    connect(Spin_ChannelID, &QSpinBox::valueChanged, this,
            [this](int v) { form_->Spin_ChannelID = v; });

    cmbTipoTrainer = new QComboBox(this);
    cmbTipoTrainer->setObjectName("cmbTipoTrainer");
    cmbTipoTrainer->setEditable(true);
    cmbTipoTrainer->setInsertPolicy(QComboBox::NoInsert);
    cmbTipoTrainer->addItems({"Mova", "Console"});
    cmbTipoTrainer->setEditText("Mova");
    cmbTipoTrainer->setGeometry(342, 63, 100, 22);
    cmbTipoTrainer->setVisible(false);
    connect(cmbTipoTrainer, &QComboBox::editTextChanged, this, [this](const QString& text) {
        form_->cmbTipoTrainerChange(text.toStdString());
        syncDeviceNumberBox();
    });

    lbl1 = label(this, "lbl1", "Beta version 1.0.0.10", {209, 31});
    lbl1->setVisible(false);

    // The device number: hidden until asked for (or shown by the hidden key).
    lblDevNumber = label(this, "lblDevNumber", "Dev.Num.", {333, 93});
    txtDeviceNumber = new QSpinBox(this);
    txtDeviceNumber->setObjectName("txtDeviceNumber");
    txtDeviceNumber->setRange(INT_MIN, INT_MAX);
    txtDeviceNumber->setValue(0);
    txtDeviceNumber->setGeometry(396, 90, 60, 22);
    lblDevNumber->setVisible(false);
    txtDeviceNumber->setVisible(false);
    connect(txtDeviceNumber, &QSpinBox::valueChanged, this,
            [this](int v) { form_->txtDeviceNumber = v; });

    // The hidden key combination, seen by the window whichever control has the focus.
    auto* hiddenKey =
        new QShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_F2), this);
    hiddenKey->setContext(Qt::WindowShortcut);
    hiddenKey->setAutoRepeat(false);
    connect(hiddenKey, &QShortcut::activated, this, [this] {
        constexpr int kF2 = 113;
        form_->FormKeyDown(kF2, true, true, true, QGuiApplication::mouseButtons() != Qt::NoButton);
    });
}

bool TForm1::FormCreate(DeviceNumberStore* store) {
    {
        TFormAgreement agreement(this);
        agreement.exec();
        if (agreement.declined()) {
            return false;
        }
    }
    // The ANT library is part of the program, so its files are always there.
    outerHeightPending_ = true;
    applyOuterHeight();
    form_->FormCreate(store);
    syncDeviceNumberBox();
    return true;
}

void TForm1::setEndProgram(std::function<void(int)> endProgram) {
    endProgram_ = std::move(endProgram);
}

void TForm1::setSimulated(bool simulated) {
    setWindowTitle(simulated ? QString::fromUtf8("FOTA \u2014 simulated trainer") : "FOTA");
}

void TForm1::blockStart(const QString& reason) {
    startBlocked_ = true;
    Btn_Start->setEnabled(false);
    SetStatusText(reason.toStdString());
}

void TForm1::syncDeviceNumberBox() {
    txtDeviceNumber->setValue(form_->txtDeviceNumber);
}

// ------------------------------------------------------------- the frame

void TForm1::setClientSize(QSize size) {
    normalSize_ = size;
#ifdef Q_OS_WIN
    resize(size);  // the frame itself does not resize by dragging
#else
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        setFixedSize(size);
    }
#endif
}

void TForm1::applyOuterHeight() {
    // The frame's height is known once the window is on screen.
    const int frame = std::max(0, frameGeometry().height() - geometry().height());
    setClientSize({kClientWidth, std::max(1, kOuterHeight - frame)});
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shownOnce_) {
        return;
    }
    shownOnce_ = true;
    if (const QScreen* screen = this->screen()) {
        QRect box = frameGeometry();
        box.moveCenter(screen->availableGeometry().center());
        move(box.topLeft());
    }
    if (outerHeightPending_) {
        QTimer::singleShot(0, this, [this] {
            outerHeightPending_ = false;
            applyOuterHeight();
        });
    }
}

void TForm1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
#ifndef Q_OS_WIN
    if (event->type() == QEvent::WindowStateChange) {
        // Fixed while normal; maximising shows everything below the top strip.
        if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
            setMinimumSize(0, 0);
            setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        } else {
            setFixedSize(normalSize_);
        }
    }
#endif
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The log box is anchored to the bottom edge.
    if (Memo1) {
        const int bottomMargin = kClientHeight - (152 + 287);
        Memo1->resize(Memo1->width(), std::max(0, height() - 152 - bottomMargin));
    }
}

// ------------------------------------------------------------- closing

void TForm1::closeEvent(QCloseEvent* event) {
    if (closing_ || destroying_) {
        event->accept();
        return;
    }
    closing_ = true;
    form_->FormClose();
    tmrProcessANTMessage->stop();
    TimerStatoProcesso->stop();
    event->accept();
    endProgram(0);
}

void TForm1::endProgram(int exitCode) {
    if (endProgram_) {
        endProgram_(exitCode);
    }
}

// ------------------------------------------------------------ WindowPort

void TForm1::AddLogBoxLine(const std::string& line) {
    Memo1->appendPlainText(QString::fromStdString(line));
}

void TForm1::ShowMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, "FOTA", QString::fromStdString(text), QMessageBox::Ok,
                    this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void TForm1::SetStatusText(const std::string& text) {
    // The longer texts get a smaller type so that they fit the strip.
    const QString status = QString::fromStdString(text);
    QFont font = windowFont(13, true);
    while (font.pixelSize() > 9 &&
           QFontMetrics(font).horizontalAdvance(status) > lblStatus->width()) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    lblStatus->setFont(font);
    lblStatus->setText(status);
    lblStatus->setToolTip(status);
}

void TForm1::SetActivity(bool animating) {
    actvtyndctr1->setAnimate(animating);
}

void TForm1::SetButtons(bool startEnabled, bool closeEnabled) {
    Btn_Start->setEnabled(startEnabled && !startBlocked_);
    Btn_Stop->setEnabled(closeEnabled);
}

void TForm1::SetProgress(std::int32_t max, std::int32_t position) {
    if (max > 0 && ProgressBar1->maximum() != max) {
        ProgressBar1->setMaximum(max);
    }
    ProgressBar1->setValue(std::clamp(position, 0, ProgressBar1->maximum()));
}

void TForm1::SetStatePoll(bool enabled) {
    if (enabled && !closing_ && !destroying_) {
        TimerStatoProcesso->start();
    } else {
        TimerStatoProcesso->stop();
    }
}

void TForm1::ShowDownloadDialog(std::uint8_t unitType) {
    // Owned by the window: it stays until the program ends.
    auto* dialog = new TfrmDownloadSw(this);
    dialog->FUnitType = unitType;
    dialog->exec();
}

std::optional<std::string> TForm1::InputBox(const std::string& caption, const std::string& prompt,
                                            const std::string& defaultAnswer) {
    QInputDialog box(this);
    box.setWindowTitle(QString::fromStdString(caption));
    box.setLabelText(QString::fromStdString(prompt));
    box.setTextValue(QString::fromStdString(defaultAnswer));
    if (box.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return box.textValue().toStdString();
}

void TForm1::SetDeviceNumberVisible(bool visible) {
    lblDevNumber->setVisible(visible);
    txtDeviceNumber->setVisible(visible);
}

void TForm1::CloseWindow() {
    if (closing_ || destroying_) {
        return;
    }
    close();
}

void TForm1::TerminateProgram(int exitCode) {
    closing_ = true;
    tmrProcessANTMessage->stop();
    TimerStatoProcesso->stop();
    endProgram(exitCode);
}

void TForm1::Post(std::function<void()> fn) {
    // Runs on the UI thread; dropped when the window is gone by then.
    QMetaObject::invokeMethod(
        this,
        [this, fn = std::move(fn)] {
            if (form_ && !destroying_) {
                fn();
            }
        },
        Qt::QueuedConnection);
}

void TForm1::ProcessMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace fota::qt
