// The MAC address dialog against a pool in a temporary working directory,
// the colon form it shows, and the byte bounds of the SSID and Wi-Fi
// password dialogs.
#include "macpool/macpool.h"
#include "protocol/settingsfields.h"
#include "support/testpool.h"
#include "ui/dialogs/macformat.h"
#include "ui/dialogs/setmac.h"
#include "ui/dialogs/setpassword.h"
#include "ui/dialogs/setssid.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextCodec>
#include <QtTest>

namespace
{

const QString USED_UP = QStringLiteral("可用MAC地址已用完，请重新生成！");
const QString FETCH_FIRST = QStringLiteral("请先获取到MAC地址！");
const QString HAN_63 = QString(21, QChar(0x4E2D)); // 63 bytes in UTF-8

QString text(QWidget *dialog, const QString &name)
{
    if (auto *label = dialog->findChild<QLabel *>(name))
        return label->text();
    return dialog->findChild<QLineEdit *>(name)->text();
}

} // namespace

class TestSetMac : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void formatStoredMac_data();
    void formatStoredMac();
    void macFieldFromText_data();
    void macFieldFromText();
    void dialogFlow_data();
    void dialogFlow();
    void settingsDialogsBoundTheEncodedLength_data();
    void settingsDialogsBoundTheEncodedLength();
};

void TestSetMac::initTestCase()
{
    // Byte counts below assume the usual UTF-8 workstation locale.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
}

void TestSetMac::formatStoredMac_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("bare twelve digits") << "907EBA74B70C"
                                        << "90:7E:BA:74:B7:0C";
    QTest::newRow("dash separators") << "90-7E-BA-74-B7-0C"
                                     << "90:7E:BA:74:B7:0C";
    QTest::newRow("letter case kept") << "907eba74b70c"
                                      << "90:7e:ba:74:b7:0c";
    QTest::newRow("eleven characters: empty") << "907EBA74B70"
                                              << "";
    QTest::newRow("thirteen characters: short groups") << "907EBA74B70C1"
                                                       << "90:EB:74:70:1";
    QTest::newRow("sixteen characters: odd groups") << "0123456789ABCDEF"
                                                    << "01:34:67:9A:CD:F";
}

void TestSetMac::formatStoredMac()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QCOMPARE(::formatStoredMac(stored), shown);
}

void TestSetMac::macFieldFromText_data()
{
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QByteArray>("field"); // empty: refused
    QTest::newRow("colon form") << "00:1A:2B:3C:4D:5E" << QByteArray::fromHex("001A2B3C4D5E");
    QTest::newRow("lower case") << "90:7e:ba:74:b7:0c" << QByteArray::fromHex("907EBA74B70C");
    QTest::newRow("seven groups") << "00:1A:2B:3C:4D:5E:6F" << QByteArray();
    QTest::newRow("dash separators") << "00-1A-2B-3C-4D-5E" << QByteArray();
    QTest::newRow("not hexadecimal") << "00:1A:2B:3C:4D:5G" << QByteArray();
}

void TestSetMac::macFieldFromText()
{
    QFETCH(QString, mac);
    QFETCH(QByteArray, field);
    QCOMPARE(::macFieldFromText(mac), field);
}

// Each row fills a pool, then presses the dialog's buttons in order; two
// steps act on the pool in between: "useAll" marks every address used (as
// another session would), "rival" claims one address for another claimer,
// "break" spoils the database file. `held` lists the addresses under a claim
// at the end.
void TestSetMac::dialogFlow_data()
{
    QTest::addColumn<QStringList>("freeRows");
    QTest::addColumn<QStringList>("usedRows");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("emitted"); // empty: nothing
    QTest::addColumn<bool>("open");
    QTest::addColumn<QStringList>("held");
    const QString mac = QStringLiteral("90:7E:BA:74:B7:0C");
    const QString other = QStringLiteral("00:00:00:00:00:01");
    const QStringList fetchOk{"getMac", "Ok"};
    QTest::newRow("bare stored form, confirmed")
        << QStringList{"907EBA74B70C"} << QStringList{} << fetchOk << mac << "" << mac << false
        << QStringList{"907EBA74B70C"};
    QTest::newRow("dash stored form, used rows skipped")
        << QStringList{"90-7E-BA-74-B7-0C"} << QStringList{other} << fetchOk << mac << "" << mac
        << false << QStringList{"90-7E-BA-74-B7-0C"};
    QTest::newRow("eleven characters: nothing to confirm")
        << QStringList{"907EBA74B70"} << QStringList{} << fetchOk << "" << FETCH_FIRST << "" << true
        << QStringList{"907EBA74B70"};
    QTest::newRow("empty pool") << QStringList{} << QStringList{} << QStringList{"getMac"} << ""
                                << USED_UP << "" << true << QStringList{};
    QTest::newRow("every address used")
        << QStringList{} << QStringList{mac, other} << QStringList{"getMac"} << "" << USED_UP << ""
        << true << QStringList{};
    QTest::newRow("shown address taken meanwhile: field emptied")
        << QStringList{mac} << QStringList{} << QStringList{"getMac", "useAll", "getMac"} << ""
        << USED_UP << "" << true << QStringList{};
    QTest::newRow("confirm without fetching")
        << QStringList{mac} << QStringList{} << QStringList{"Ok"} << "" << FETCH_FIRST << "" << true
        << QStringList{};
    QTest::newRow("cancel after fetching")
        << QStringList{mac} << QStringList{} << QStringList{"getMac", "Cancel"} << mac << ""
        << "" << false << QStringList{};
    QTest::newRow("database error keeps the shown address")
        << QStringList{mac} << QStringList{} << QStringList{"getMac", "break", "getMac"} << mac
        << "数据库操作失败！"
        << "" << true << QStringList{"unreadable"};
    QTest::newRow("another claimer's address skipped")
        << QStringList{mac, "90:7E:BA:74:B7:0D"} << QStringList{} << QStringList{"rival", "getMac"}
        << "90:7E:BA:74:B7:0D"
        << ""
        << "" << true << QStringList{mac, "90:7E:BA:74:B7:0D"};
}

void TestSetMac::dialogFlow()
{
    QFETCH(QStringList, freeRows);
    QFETCH(QStringList, usedRows);
    QFETCH(QStringList, steps);
    QFETCH(QString, shown);
    QFETCH(QString, message);
    QFETCH(QString, emitted);
    QFETCH(bool, open);
    QFETCH(QStringList, held);
    TestPool pool;
    QVERIFY(pool.isValid());
    for (const QString &mac : freeRows)
        QVERIFY(pool.add(mac));
    for (const QString &mac : usedRows)
        QVERIFY(pool.add(mac, true));
    SetMac dialog(QStringLiteral("02:4B:52:55:30:01"));
    QCOMPARE(text(&dialog, "label_orMac"), QStringLiteral("02:4B:52:55:30:01"));
    dialog.show();
    QSignalSpy spy(&dialog, &SetMac::sendNewMac);
    bool visibleAtEmission = true;
    QString error;
    connect(&dialog, &SetMac::sendNewMac, this, [&] { visibleAtEmission = dialog.isVisible(); });

    for (const QString &step : steps) {
        if (step == QLatin1String("break"))
            QVERIFY(pool.breakFile());
        else if (step == QLatin1String("useAll"))
            QVERIFY(pool.useAll());
        else if (step == QLatin1String("rival"))
            QCOMPARE(MacPool(localPoolUrl()).claim(1, "s", "li", error).size(), 1);
        else
            dialog.findChild<QPushButton *>("pushButton_" + step)->click();
    }
    QCOMPARE(text(&dialog, "lineEdit"), shown);
    QCOMPARE(text(&dialog, "label_msg"), message);
    QCOMPARE(dialog.isVisible(), open);
    QCOMPARE(spy.count(), emitted.isEmpty() ? 0 : 1);
    if (!emitted.isEmpty()) {
        QCOMPARE(spy.at(0).at(0).toString(), emitted);
        QVERIFY2(!visibleAtEmission, "the dialog must close before it emits");
    }
    if (!steps.contains("break")) {
        QStringList claimed;
        for (const MacClaimRow &row : MacPool(localPoolUrl()).holds(error))
            claimed << row.MacAddr;
        QCOMPARE(claimed, held);
    }
    if (steps.filter(QRegularExpression("break|useAll")).isEmpty()) {
        for (const QString &mac : freeRows)
            QVERIFY2(pool.isFree(mac), "the dialog never marks an address");
    }
}

void TestSetMac::settingsDialogsBoundTheEncodedLength_data()
{
    QTest::addColumn<bool>("ssid"); // false: the Wi-Fi password dialog
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("rejection"); // empty: accepted
    const QString ssidTooLong = QStringLiteral("新SSID不能超过32个字节（现为%1个字节）！");
    const QString passwordTooLong = QStringLiteral("新密码超过32个字节,请重新输入！");
    QTest::newRow("SSID of 32 ASCII bytes") << true << QString(32, 's') << "";
    QTest::newRow("SSID of 33 ASCII bytes") << true << QString(33, 's') << ssidTooLong.arg(33);
    QTest::newRow("SSID of 40 ASCII bytes") << true << QString(40, 's') << ssidTooLong.arg(40);
    QTest::newRow("SSID of 32 bytes ending in a three-byte character")
        << true << "ss" + HAN_63.left(10) << "";
    QTest::newRow("SSID whose last character would cross byte 32")
        << true << "sss" + HAN_63.left(10) << ssidTooLong.arg(33);
    QTest::newRow("password of 32 bytes") << false << "Aa1_" + QString(28, 'x') << "";
    QTest::newRow("password of 15 characters but 33 bytes")
        << false << "Aa1_" + HAN_63.left(9) + "xx" << passwordTooLong;
}

void TestSetMac::settingsDialogsBoundTheEncodedLength()
{
    QFETCH(bool, ssid);
    QFETCH(QString, entry);
    QFETCH(QString, rejection);
    std::unique_ptr<QDialog> dialog;
    if (ssid)
        dialog = std::make_unique<SetSSID>(QStringLiteral("Office_Wifi"), QStringLiteral("pw"));
    else
        dialog = std::make_unique<SetPassword>(QStringLiteral("Oldpass_1"), QStringLiteral("Wifi"));
    QSignalSpy spy(dialog.get(),
                   ssid ? SIGNAL(sendNewSSID(QString)) : SIGNAL(sendPassword(QString)));
    const QStringList entryFields =
        ssid ? QStringList{"lineEdit_setSSID"} : QStringList{"lineEdit", "lineEdit_2"};
    for (const QString &name : entryFields)
        dialog->findChild<QLineEdit *>(name)->setText(entry);
    if (!ssid)
        dialog->findChild<QLineEdit *>("lineEdit_3")->setText(QStringLiteral("Oldpass_1"));
    dialog->show();
    dialog->findChild<QPushButton *>(ssid ? "pushButton_Ok" : "pushButton_OK")->click();

    QCOMPARE(spy.count(), rejection.isEmpty() ? 1 : 0);
    QCOMPARE(dialog->isVisible(), !rejection.isEmpty());
    if (rejection.isEmpty()) {
        QCOMPARE(spy.at(0).at(0).toString(), entry); // whole, never cut
        return;
    }
    QLabel *line = dialog->findChild<QLabel *>(ssid ? "label_tip" : "label_3");
    QCOMPARE(line->text(), rejection);
    QVERIFY(line->styleSheet().contains(QLatin1String("red")));
    // The SSID stays to be shortened; the masked password fields are cleared.
    QCOMPARE(text(dialog.get(), entryFields.first()), ssid ? entry : QString());
}

QTEST_MAIN(TestSetMac)
#include "tst_setmac.moc"
