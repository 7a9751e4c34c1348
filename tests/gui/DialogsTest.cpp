// The agreement and the software-download dialog on real widgets.

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "platform/MakerInfo.h"
#include "ui/qt/FormAgreement.h"
#include "ui/qt/frmDownloadSw.h"

using fota::qt::TFormAgreement;
using fota::qt::TfrmDownloadSw;
namespace maker = fota::maker;

// Receives what the dialogs ask the desktop to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

class DialogsTest : public QObject {
    Q_OBJECT

private:
    UrlRecorder urls_;

private slots:
    void initTestCase() {
        QDesktopServices::setUrlHandler("https", &urls_, "open");
        QDesktopServices::setUrlHandler("http", &urls_, "open");
    }
    void cleanupTestCase() {
        QDesktopServices::unsetUrlHandler("https");
        QDesktopServices::unsetUrlHandler("http");
    }
    void init() { urls_.opened.clear(); }

    void downloadAddressByUnitType_data() {
        QTest::addColumn<int>("unitType");
        QTest::addColumn<QString>("address");
        const QString none = "NOT AVAILABLE";
        QTest::newRow("9 KOV") << 9 << QString(maker::kInstallerKov);
        QTest::newRow("14 KOV") << 14 << QString(maker::kInstallerKov);
        QTest::newRow("11 PU") << 11 << QString(maker::kInstallerPu);
        QTest::newRow("16 PU") << 16 << QString(maker::kInstallerPu);
        QTest::newRow("12 LO") << 12 << QString(maker::kInstallerLo);
        QTest::newRow("15 LO") << 15 << QString(maker::kInstallerLo);
        QTest::newRow("13 WEK") << 13 << QString(maker::kInstallerWek);
        QTest::newRow("17 WEK") << 17 << QString(maker::kInstallerWek);
        for (int u : {10, 18, 19, 20, 0, -1, 255}) {
            QTest::newRow(qPrintable(QString::number(u))) << u << none;
        }
    }
    void downloadAddressByUnitType() {
        QFETCH(int, unitType);
        QFETCH(QString, address);
        TfrmDownloadSw dialog;
        dialog.FUnitType = unitType;  // after creation, before showing
        dialog.show();
        QCOMPARE(
            dialog.lnkDownload->text(),
            "<a href=\"" + address + "\">Click here to download the installation software.</a>");
        QCOMPARE(dialog.lnkCopy->text(),
                 "<a href=\"" + address + "\">Copy to clipborad the download link.</a>");
        QCOMPARE(dialog.lblDirectLink->text(), "DIRECT LINK -->  " + address);
    }

    void addressesDifferByModel() {
        const QStringList all = {maker::kInstallerKov, maker::kInstallerPu, maker::kInstallerLo,
                                 maker::kInstallerWek};
        for (const QString& a : all) {
            QCOMPARE(all.count(a), 1);
            QVERIFY2(QUrl(a).host().endsWith(".example"), qPrintable(a));
        }
    }

    void beforeAUnitTypeIsGivenNothingIsOffered() {
        TfrmDownloadSw dialog;
        QCOMPARE(dialog.lblDirectLink->text(), QString("DIRECT LINK -->  NOT AVAILABLE"));
    }

    void downloadDialogLooks() {
        TfrmDownloadSw dialog;
        QCOMPARE(dialog.windowTitle(), QString("ATTENTION !!!"));
        QCOMPARE(dialog.size(), QSize(345, 241));
        QCOMPARE(dialog.lblTitle->text(), QString("Update the Mova software !!!"));
        QCOMPARE(dialog.lblText->text(),
                 QString("Now your trainer is ANT+  FE-C compatible !!\n"
                         "You must upgrade your Mova software ,otherwise it will not be able to "
                         "connect to the trainer.\n\n"
                         "Here you can find the installation file, don't uninstall the actual "
                         "Mova version :"));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));
        dialog.show();
        dialog.btnClose->click();
        QVERIFY(!dialog.isVisible());
    }

    void downloadLinkOpensTheAddress() {
        TfrmDownloadSw dialog;
        dialog.FUnitType = 13;
        dialog.show();
        emit dialog.lnkDownload->linkActivated(maker::kInstallerWek);
        QCOMPARE(urls_.opened, QList<QUrl>{QUrl(maker::kInstallerWek)});
    }

    void downloadLinkWithoutAnAddressOpensNothing() {
        TfrmDownloadSw dialog;
        dialog.FUnitType = 99;
        dialog.show();
        emit dialog.lnkDownload->linkActivated("NOT AVAILABLE");
        emit dialog.lnkDownload->linkActivated("");
        QVERIFY(urls_.opened.isEmpty());
    }

    void copyLinkPutsExactlyTheAddressOnTheClipboard() {
        QGuiApplication::clipboard()->setText("something else");
        TfrmDownloadSw dialog;
        dialog.FUnitType = 12;
        dialog.show();
        emit dialog.lnkCopy->linkActivated(maker::kInstallerLo);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString(maker::kInstallerLo));
        QVERIFY(urls_.opened.isEmpty());
    }

    void agreementText() {
        TFormAgreement dialog;
        QCOMPARE(dialog.windowTitle(), QString("Agreement"));
        QCOMPARE(dialog.size(), QSize(314, 403));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));
        const QStringList lines = dialog.Memo1->toPlainText().split('\n');
        QCOMPARE(lines.size(), 21);
        QCOMPARE(lines[0], QString("FOTA upgrade software agreement."));
        QCOMPARE(lines[2], QString("This firmware upgrade procedure is irreversible.  "));
        QCOMPARE(lines[13], QString("in this case please contact us (") + maker::kSupportEmail +
                                ") to have the ");
        QCOMPARE(lines[17], QString::fromUtf8("Click on \u201CI agree\u201D to accept these "
                                              "conditions."));
        QCOMPARE(lines[19], QString(maker::kCompanyName) + " ");
        QCOMPARE(lines[20], QString(""));
        QCOMPARE(dialog.btnDecline->text(), QString("I decline"));
        QCOMPARE(dialog.btnAgree->text(), QString("I agree"));
        QVERIFY(dialog.btnDecline->x() < dialog.btnAgree->x());
    }

    void agreementButtons_data() {
        QTest::addColumn<QString>("press");
        QTest::addColumn<bool>("declined");
        QTest::newRow("I agree") << "agree" << false;
        QTest::newRow("I decline") << "decline" << true;
    }
    void agreementButtons() {
        QFETCH(QString, press);
        QFETCH(bool, declined);
        TFormAgreement dialog;
        dialog.show();
        (press == "agree" ? dialog.btnAgree : dialog.btnDecline)->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.declined(), declined);
    }

    void escapeDoesNotAnswerTheAgreement() {
        TFormAgreement dialog;
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QVERIFY(!dialog.declined());
    }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
