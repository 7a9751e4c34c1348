#pragma once
// The agreement shown at start-up: the user accepts the conditions of the
// irreversible upgrade ("I agree") or ends the program ("I decline").

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace fota::qt {

class TFormAgreement : public QDialog {
    Q_OBJECT
public:
    explicit TFormAgreement(QWidget* owner = nullptr);

    // True once "I decline" was pressed: the program is to end.
    bool declined() const { return declined_; }

    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* btnDecline = nullptr;
    QPushButton* btnAgree = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool declined_ = false;
};

}  // namespace fota::qt
