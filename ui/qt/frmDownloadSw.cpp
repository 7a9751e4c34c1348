#include "ui/qt/frmDownloadSw.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "ui/frmDownloadSwU.h"

namespace fota::qt {

namespace {

QLabel* linkLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setOpenExternalLinks(false);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

}  // namespace

TfrmDownloadSw::TfrmDownloadSw(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName("frmDownloadSw");
    setWindowTitle("ATTENTION !!!");
    setFixedSize(345, 241);
    setModal(true);

    lblTitle = new QLabel("Update the Mova software !!!", this);
    lblTitle->setObjectName("lblTitle");
    QFont titleFont = lblTitle->font();
    titleFont.setPixelSize(20);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    QPalette red = lblTitle->palette();
    red.setColor(QPalette::WindowText, QColor(220, 0, 0));
    lblTitle->setPalette(red);
    lblTitle->setGeometry(8, 8, 329, 28);

    lblText = new QLabel(this);
    lblText->setObjectName("lblText");
    lblText->setTextFormat(Qt::PlainText);
    lblText->setWordWrap(true);
    lblText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblText->setText(
        "Now your trainer is ANT+  FE-C compatible !!\n"
        "You must upgrade your Mova software ,otherwise it will not be able to connect to the "
        "trainer.\n"
        "\n"
        "Here you can find the installation file, don't uninstall the actual Mova version :");
    lblText->setGeometry(8, 42, 329, 96);

    lnkDownload = linkLabel(this, "lnkDownload");
    lnkDownload->setGeometry(8, 142, 329, 18);
    lnkCopy = linkLabel(this, "lnkCopy");
    lnkCopy->setGeometry(8, 164, 329, 18);

    lblDirectLink = new QLabel(this);
    lblDirectLink->setObjectName("lblDirectLink");
    lblDirectLink->setTextFormat(Qt::PlainText);
    lblDirectLink->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblDirectLink->setGeometry(8, 186, 329, 18);

    btnClose = new QPushButton("Close", this);
    btnClose->setObjectName("btnClose");
    btnClose->setGeometry(262, 208, 75, 25);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

    // Both links act only on a link that carries a target.
    connect(lnkDownload, &QLabel::linkActivated, this, [](const QString& target) {
        const QUrl url(target);
        if (!target.isEmpty() && url.isValid() && !url.scheme().isEmpty()) {
            QDesktopServices::openUrl(url);  // a failure is not reported
        }
    });
    connect(lnkCopy, &QLabel::linkActivated, this, [](const QString& target) {
        if (!target.isEmpty()) {
            QGuiApplication::clipboard()->setText(target);
        }
    });

    FormCreate();
}

void TfrmDownloadSw::FormCreate() {
    const DownloadSwTexts texts = DownloadSwTextsFor(FUnitType);
    lnkDownload->setText(QString::fromStdString(texts.downloadLink));
    lnkCopy->setText(QString::fromStdString(texts.copyLink));
    lblDirectLink->setText(QString::fromStdString(texts.directLink));
}

void TfrmDownloadSw::showEvent(QShowEvent* event) {
    FormCreate();
    QDialog::showEvent(event);
}

}  // namespace fota::qt
