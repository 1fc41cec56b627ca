// The MAC address dialog against a pool in a temporary working directory,
// the colon form it shows, and the input bounds of the SSID and Wi-Fi
// password dialogs.
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

QLineEdit *macField(QDialog *dialog)
{
    return dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit"));
}

QString message(QWidget *dialog, const char *name = "label_msg")
{
    return dialog->findChild<QLabel *>(QString::fromLatin1(name))->text();
}

void click(QWidget *dialog, const char *name)
{
    dialog->findChild<QPushButton *>(QString::fromLatin1(name))->click();
}

// 21 three-byte characters: 63 bytes in UTF-8.
const QString HAN_63 = QString(21, QChar(0x4E2D));

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

    void formShowsTheCurrentAddress();
    void fetchShowsTheNextFreeAddress_data();
    void fetchShowsTheNextFreeAddress();
    void databaseErrorKeepsTheField();
    void confirmWithoutFetchAsksFirst();
    void confirmEmitsOnceAfterClosing();
    void cancelAfterFetchLeavesTheAddressFree();

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
    QTest::newRow("colon form unchanged") << "00:1A:2B:3C:4D:5E"
                                          << "00:1A:2B:3C:4D:5E";
    QTest::newRow("any one-character separator") << "90.7E BA_74/B7|0C"
                                                 << "90:7E:BA:74:B7:0C";
    QTest::newRow("letter case kept") << "907eba74b70c"
                                      << "90:7e:ba:74:b7:0c";
    QTest::newRow("eleven characters: empty") << "907EBA74B70" << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("thirteen characters: short groups") << "907EBA74B70C1"
                                                       << "90:EB:74:70:1";
    QTest::newRow("sixteen characters: six odd groups") << "0123456789ABCDEF"
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
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("field");
    const QByteArray refused;
    QTest::newRow("colon form") << "00:1A:2B:3C:4D:5E" << QByteArray::fromHex("001A2B3C4D5E");
    QTest::newRow("lower case") << "90:7e:ba:74:b7:0c" << QByteArray::fromHex("907EBA74B70C");
    QTest::newRow("bare digits") << "FFFFFFFFFFFF" << QByteArray::fromHex("FFFFFFFFFFFF");
    QTest::newRow("five groups") << "00:1A:2B:3C:4D" << refused;
    QTest::newRow("seven groups") << "00:1A:2B:3C:4D:5E:6F" << refused;
    QTest::newRow("odd digit count from a 13-character entry") << "90:EB:74:70:1" << refused;
    QTest::newRow("dash separators") << "00-1A-2B-3C-4D-5E" << refused;
    QTest::newRow("not hexadecimal") << "00:1A:2B:3C:4D:5G" << refused;
    QTest::newRow("blank inside") << "00:1A:2B:3C:4D: 5" << refused;
    QTest::newRow("empty") << QString() << refused;
}

void TestSetMac::macFieldFromText()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, field);
    QCOMPARE(::macFieldFromText(text), field);
}

void TestSetMac::formShowsTheCurrentAddress()
{
    SetMac dialog(QStringLiteral("02:4B:52:55:30:01"));
    QCOMPARE(dialog.objectName(), QStringLiteral("SetMac"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("MAC设置"));
    QCOMPARE(message(&dialog, "label_orMac"), QStringLiteral("02:4B:52:55:30:01"));
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("label_msg"))->styleSheet(),
             QStringLiteral("color: red;"));
    QVERIFY(macField(&dialog)->isReadOnly());
    QVERIFY(macField(&dialog)->text().isEmpty());
}

void TestSetMac::fetchShowsTheNextFreeAddress_data()
{
    QTest::addColumn<QStringList>("freeRows");
    QTest::addColumn<QStringList>("usedRows");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("messageText");
    QTest::newRow("bare stored form")
        << QStringList{"907EBA74B70C"} << QStringList{} << "90:7E:BA:74:B7:0C" << QString();
    QTest::newRow("dash stored form, used rows skipped")
        << QStringList{"90-7E-BA-74-B7-0D"} << QStringList{"90:7E:BA:74:B7:0C"}
        << "90:7E:BA:74:B7:0D" << QString();
    QTest::newRow("eleven characters: empty field, no message")
        << QStringList{"907EBA74B70"} << QStringList{} << QString() << QString();
    QTest::newRow("empty pool") << QStringList{} << QStringList{} << QString() << USED_UP;
    QTest::newRow("every address used")
        << QStringList{} << QStringList{"90:7E:BA:74:B7:0C", "90:7E:BA:74:B7:0D"} << QString()
        << USED_UP;
}

void TestSetMac::fetchShowsTheNextFreeAddress()
{
    QFETCH(QStringList, freeRows);
    QFETCH(QStringList, usedRows);
    QFETCH(QString, shown);
    QFETCH(QString, messageText);
    TestPool pool;
    QVERIFY(pool.isValid());
    for (const QString &mac : freeRows)
        QVERIFY(pool.add(mac));
    for (const QString &mac : usedRows)
        QVERIFY(pool.add(mac, true));
    SetMac dialog(QStringLiteral("02:4B:52:55:30:01"));
    dialog.show();
    macField(&dialog)->setText(QStringLiteral("stale")); // what a used-up pool must clear

    click(&dialog, "pushButton_getMac");
    QCOMPARE(macField(&dialog)->text(), shown);
    QCOMPARE(message(&dialog), messageText);
    for (const QString &mac : freeRows)
        QCOMPARE(pool.row(mac).isUsed, 0); // fetching marks nothing
}

void TestSetMac::databaseErrorKeepsTheField()
{
    TestPool pool;
    QVERIFY(pool.add(QStringLiteral("00:1A:2B:3C:4D:5E")));
    SetMac dialog(QStringLiteral("02:4B:52:55:30:01"));
    dialog.show();
    click(&dialog, "pushButton_getMac");
    QCOMPARE(macField(&dialog)->text(), QStringLiteral("00:1A:2B:3C:4D:5E"));

    QVERIFY(pool.breakFile());
    click(&dialog, "pushButton_getMac");
    QCOMPARE(message(&dialog), QStringLiteral("数据库操作失败！"));
    QCOMPARE(macField(&dialog)->text(), QStringLiteral("00:1A:2B:3C:4D:5E"));
}

void TestSetMac::confirmWithoutFetchAsksFirst()
{
    SetMac dialog(QStringLiteral("02:4B:52:55:30:01"));
    dialog.show();
    QSignalSpy spy(&dialog, &SetMac::sendNewMac);
    click(&dialog, "pushButton_Ok");
    QCOMPARE(message(&dialog), QStringLiteral("请先获取到MAC地址！"));
    QVERIFY(dialog.isVisible());
    QCOMPARE(spy.count(), 0);
}

void TestSetMac::confirmEmitsOnceAfterClosing()
{
    TestPool pool;
    QVERIFY(pool.add(QStringLiteral("907EBA74B70C")));
    SetMac dialog(QStringLiteral("02:4B:52:55:30:01"));
    dialog.show();
    QSignalSpy spy(&dialog, &SetMac::sendNewMac);
    bool visibleAtEmission = true;
    connect(&dialog, &SetMac::sendNewMac, this, [&] { visibleAtEmission = dialog.isVisible(); });
    click(&dialog, "pushButton_getMac");
    click(&dialog, "pushButton_Ok");

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("90:7E:BA:74:B7:0C"));
    QVERIFY2(!visibleAtEmission, "the dialog must close before it emits");
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(pool.row(QStringLiteral("907EBA74B70C")).isUsed,
             0); // the page marks it, not the dialog
}

void TestSetMac::cancelAfterFetchLeavesTheAddressFree()
{
    TestPool pool;
    QVERIFY(pool.add(QStringLiteral("00:1A:2B:3C:4D:5E")));
    SetMac dialog(QStringLiteral("02:4B:52:55:30:01"));
    dialog.show();
    QSignalSpy spy(&dialog, &SetMac::sendNewMac);
    click(&dialog, "pushButton_getMac");
    QCOMPARE(macField(&dialog)->text(), QStringLiteral("00:1A:2B:3C:4D:5E"));
    click(&dialog, "pushButton_Cancel");

    QVERIFY(!dialog.isVisible());
    QCOMPARE(spy.count(), 0);
    const TestPool::Row row = pool.row(QStringLiteral("00:1A:2B:3C:4D:5E"));
    QCOMPARE(row.isUsed, 0);
    QVERIFY(row.operatorIsNull);
}

// --- SSID and Wi-Fi password bounds -------------------------------------------

void TestSetMac::settingsDialogsBoundTheEncodedLength_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("rejection"); // empty: accepted
    const QString ssidTooLong = QStringLiteral("新SSID不能超过64个字节！");
    const QString passwordTooLong = QStringLiteral("新密码超过32个字节,请重新输入！");
    QTest::newRow("SSID of 64 ASCII bytes") << "SSID" << QString(64, 's') << QString();
    QTest::newRow("SSID of 65 ASCII bytes") << "SSID" << QString(65, 's') << ssidTooLong;
    QTest::newRow("SSID of 64 bytes ending in a three-byte character") << "SSID"
                                                                       << "s" + HAN_63 << QString();
    QTest::newRow("SSID whose last character would cross byte 64") << "SSID"
                                                                   << "ss" + HAN_63 << ssidTooLong;
    QTest::newRow("SSID of 22 characters but 66 bytes")
        << "SSID" << HAN_63 + QChar(0x6587) << ssidTooLong;
    QTest::newRow("password of 32 bytes") << "password"
                                          << "Aa1_" + QString(28, 'x') << QString();
    QTest::newRow("password of 33 bytes") << "password"
                                          << "Aa1_" + QString(29, 'x') << passwordTooLong;
    QTest::newRow("password of 15 characters but 33 bytes")
        << "password"
        << "Aa1_" + QString(9, QChar(0x4E2D)) + "xx" << passwordTooLong;
}

void TestSetMac::settingsDialogsBoundTheEncodedLength()
{
    QFETCH(QString, kind);
    QFETCH(QString, entry);
    QFETCH(QString, rejection);
    const bool ssid = kind == QLatin1String("SSID");
    std::unique_ptr<QDialog> dialog;
    if (ssid)
        dialog = std::make_unique<SetSSID>(QStringLiteral("Office_Wifi"), QStringLiteral("pw"));
    else
        dialog =
            std::make_unique<SetPassword>(QStringLiteral("Oldpass_123"), QStringLiteral("Wifi"));
    QSignalSpy spy(dialog.get(),
                   ssid ? SIGNAL(sendNewSSID(QString)) : SIGNAL(sendPassword(QString)));
    const QStringList entryFields =
        ssid ? QStringList{"lineEdit_setSSID"} : QStringList{"lineEdit", "lineEdit_2"};
    for (const QString &name : entryFields)
        dialog->findChild<QLineEdit *>(name)->setText(entry);
    if (!ssid)
        dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit_3"))
            ->setText(QStringLiteral("Oldpass_123"));
    dialog->show();
    click(dialog.get(), ssid ? "pushButton_Ok" : "pushButton_OK");

    if (rejection.isEmpty()) {
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), entry); // whole, never cut
        QVERIFY(!dialog->isVisible());
        return;
    }
    QCOMPARE(spy.count(), 0);
    QVERIFY(dialog->isVisible());
    QLabel *line = dialog->findChild<QLabel *>(ssid ? "label_tip" : "label_3");
    QCOMPARE(line->text(), rejection);
    QVERIFY(line->styleSheet().contains(QLatin1String("red")));
    // The SSID stays to be shortened; the masked password fields are cleared.
    QCOMPARE(dialog->findChild<QLineEdit *>(entryFields.first())->text(), ssid ? entry : QString());
}

QTEST_MAIN(TestSetMac)
#include "tst_setmac.moc"
