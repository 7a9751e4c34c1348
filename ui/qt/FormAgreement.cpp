#include "ui/qt/FormAgreement.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "ui/FormAgreementU.h"

namespace fota::qt {

namespace {

void colourCaption(QPushButton* button, const QColor& colour) {
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, colour);
    button->setPalette(palette);
}

}  // namespace

TFormAgreement::TFormAgreement(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName("FormAgreement");
    setWindowTitle("Agreement");
    setFixedSize(314, 403);
    setModal(true);

    QStringList lines;
    for (const std::string& line : AgreementLines()) {
        lines << QString::fromStdString(line);
    }
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setGeometry(8, 8, 298, 350);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setPlainText(lines.join('\n'));

    btnDecline = new QPushButton("I decline", this);
    btnDecline->setObjectName("btnDecline");
    btnDecline->setGeometry(8, 368, 100, 27);
    btnDecline->setAutoDefault(false);
    colourCaption(btnDecline, QColor(200, 0, 0));

    btnAgree = new QPushButton("I agree", this);
    btnAgree->setObjectName("btnAgree");
    btnAgree->setGeometry(206, 368, 100, 27);
    btnAgree->setAutoDefault(false);
    colourCaption(btnAgree, QColor(0, 140, 0));

    connect(btnAgree, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnDecline, &QPushButton::clicked, this, [this] {
        declined_ = true;
        reject();
    });
}

void TFormAgreement::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* screen = this->screen()) {
        QRect box = frameGeometry();
        box.moveCenter(screen->availableGeometry().center());
        move(box.topLeft());
    }
}

void TFormAgreement::keyPressEvent(QKeyEvent* event) {
    // Escape does not close the agreement: one of the two buttons answers it.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace fota::qt
