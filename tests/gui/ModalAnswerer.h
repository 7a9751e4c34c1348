#pragma once
// Answers the modal boxes and dialogs a test provokes, in order, and records
// what each one showed. A box nobody scripted an answer for is recorded and
// closed, so a test fails on what it saw instead of waiting forever.

#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QQueue>
#include <QTest>
#include <QTimer>
#include <functional>

#include "ui/qt/FormAgreement.h"
#include "ui/qt/frmDownloadSw.h"

namespace fota::testing {

class ModalAnswerer : public QObject {
public:
    using Answer = std::function<void(QWidget*)>;

    struct Seen {
        QString kind;       // "message", "input", "agreement", "download", or the class name
        QString title;      // window title
        QString text;       // message text, input prompt, download dialog's direct link
        int unitType = -1;  // download dialog
    };

    ModalAnswerer() {
        timer_.setInterval(5);
        connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::poll);
        timer_.start();
    }

    ModalAnswerer& then(Answer answer) {
        answers_.enqueue(std::move(answer));
        return *this;
    }

    // Called with each box as it appears, before it is answered.
    std::function<void(QWidget*, const Seen&)> onSeen;
    QList<Seen> seen;
    int pending() const { return answers_.size(); }

    // ---- Answers.
    static Answer accept() {
        return [](QWidget* w) {
            if (auto* d = qobject_cast<QDialog*>(w)) {
                d->accept();
            }
        };
    }
    static Answer cancel() {
        return [](QWidget* w) {
            if (auto* d = qobject_cast<QDialog*>(w)) {
                d->reject();
            }
        };
    }
    static Answer type(const QString& text) {
        return [text](QWidget* w) {
            auto* input = qobject_cast<QInputDialog*>(w);
            QVERIFY2(input, "expected the input box");
            input->setTextValue(text);
            input->accept();
        };
    }
    static Answer agree() {
        return [](QWidget* w) {
            auto* a = qobject_cast<qt::TFormAgreement*>(w);
            QVERIFY2(a, "expected the agreement");
            a->btnAgree->click();
        };
    }
    static Answer decline() {
        return [](QWidget* w) {
            auto* a = qobject_cast<qt::TFormAgreement*>(w);
            QVERIFY2(a, "expected the agreement");
            a->btnDecline->click();
        };
    }
    static Answer closeDownload() {
        return [](QWidget* w) {
            auto* d = qobject_cast<qt::TfrmDownloadSw*>(w);
            QVERIFY2(d, "expected the software-download dialog");
            d->btnClose->click();
        };
    }

    static Seen describe(QWidget* w) {
        Seen s;
        s.title = w->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            s.kind = "message";
            s.text = box->text();
        } else if (auto* input = qobject_cast<QInputDialog*>(w)) {
            s.kind = "input";
            s.text = input->labelText();
        } else if (qobject_cast<qt::TFormAgreement*>(w)) {
            s.kind = "agreement";
        } else if (auto* download = qobject_cast<qt::TfrmDownloadSw*>(w)) {
            s.kind = "download";
            s.text = download->lblDirectLink->text();
            s.unitType = download->FUnitType;
        } else {
            s.kind = w->metaObject()->className();
        }
        return s;
    }

private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->property("fotaAnswered").toBool()) {
            return;
        }
        modal->setProperty("fotaAnswered", true);
        const Seen s = describe(modal);
        seen.append(s);
        if (onSeen) {
            onSeen(modal, s);
        }
        const Answer answer = answers_.isEmpty() ? cancel() : answers_.dequeue();
        answer(modal);
    }

    QTimer timer_;
    QQueue<Answer> answers_;
};

}  // namespace fota::testing
