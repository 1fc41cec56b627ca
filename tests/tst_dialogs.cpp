#include "ui/dialogs/login.h"
#include "ui/dialogs/loginsetings.h"
#include "ui/dialogs/setpassword.h"
#include "ui/dialogs/setssid.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace
{
// The weak-password rejection, which states the rule.
const QString WEAK = QStringLiteral("新密码强度太弱：8到11位的新密码须包含大写字母、小写字母、"
                                    "数字、其他字符中的至少两类（12位及以上不限），请重新输入！");

// Finds a named child; a missing object name is a broken form, so stop here.
template <typename T> T *child(QObject *root, const QString &name)
{
    T *found = root->findChild<T *>(name);
    if (!found)
        qFatal("no %s named %s", T::staticMetaObject.className(), qPrintable(name));
    return found;
}

QLineEdit *edit(QObject *root, const QString &name)
{
    return child<QLineEdit>(root, name);
}

QString labelText(QObject *root, const QString &name)
{
    return child<QLabel>(root, name)->text();
}

void click(QObject *root, const QString &buttonName)
{
    child<QPushButton>(root, buttonName)->click();
}

// Every component that has credential fields, built by name for data rows.
std::unique_ptr<QWidget> makeComponent(const QString &kind)
{
    std::unique_ptr<QWidget> widget;
    if (kind == QLatin1String("SetPassword"))
        widget = std::make_unique<SetPassword>(QStringLiteral("Oldpass_123"),
                                               QStringLiteral("Office_Wifi5"));
    else if (kind == QLatin1String("LoginSetings"))
        widget = std::make_unique<LoginSetings>(QStringLiteral("Operator01"),
                                                QStringLiteral("Initpass_456"));
    else if (kind == QLatin1String("Login"))
        widget = std::make_unique<Login>();
    else
        widget = std::make_unique<QLineEdit>();
    widget->show();
    return widget;
}

std::unique_ptr<DismissableDialog> makeDismissable(const QString &kind)
{
    if (kind == QLatin1String("SetPassword"))
        return std::make_unique<SetPassword>(QStringLiteral("Oldpass_123"),
                                             QStringLiteral("Office_Wifi5"));
    return std::make_unique<LoginSetings>(QStringLiteral("Operator01"),
                                          QStringLiteral("Initpass_456"));
}

// Whether the dialog was already closed when its result signal arrived.
struct EmissionWitness {
    bool visibleAtEmission = true;
    int resultAtEmission = -1;
};

template <typename Dialog, typename Signal>
void watchEmission(Dialog *dialog, Signal signal, EmissionWitness *witness)
{
    QObject::connect(dialog, signal, dialog, [dialog, witness] {
        witness->visibleAtEmission = dialog->isVisible();
        witness->resultAtEmission = dialog->result();
    });
}

const QString kClipboardText = QStringLiteral("fromClipboard");

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void formSizesAndTitles_data();
    void formSizesAndTitles();

    void setPasswordRejects_data();
    void setPasswordRejects();
    void setPasswordAccepts_data();
    void setPasswordAccepts();
    void setPasswordIndicator();
    void setPasswordMessageVanishesWhileResponsive();
    void setPasswordSecondRejectionRestartsPause();
    void setPasswordNewFieldHasNoInputMethod();

    void loginSetingsRejects_data();
    void loginSetingsRejects();
    void loginSetingsAccepts_data();
    void loginSetingsAccepts();
    void loginSetingsMessageStaysUntilTyping();
    void loginSetingsNewPasswordLimit();

    void ssidAndAccountRulesBelongToOneDialogEach();

    void notDismissableRefusesEveryWayOut_data();
    void notDismissableRefusesEveryWayOut();
    void dismissableClosesWithoutEmitting_data();
    void dismissableClosesWithoutEmitting();

    void clipboardShortcutsSwallowed_data();
    void clipboardShortcutsSwallowed();
    void eyeTogglesEcho_data();
    void eyeTogglesEcho();

    void loginPassesTextsAndClears();
    void loginEnterDisabledUntilEnabled();
    void loginReceiverMayReenableEnter();

    void setSsidRejects_data();
    void setSsidRejects();
    void setSsidAccepts_data();
    void setSsidAccepts();
    void setSsidTypingClearsMessage();
};

void TestDialogs::init()
{
    QGuiApplication::clipboard()->setText(kClipboardText);
}

void TestDialogs::formSizesAndTitles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("title");
    QTest::newRow("SetPassword") << "SetPassword" << QSize(344, 277) << "Wifi密码设置";
    QTest::newRow("LoginSetings") << "LoginSetings" << QSize(346, 271) << "登录管理";
    QTest::newRow("SetSSID") << "SetSSID" << QSize(331, 224) << "SSID设置";
    QTest::newRow("Login") << "Login" << QSize(586, 443) << QString();
}

void TestDialogs::formSizesAndTitles()
{
    QFETCH(QString, kind);
    QFETCH(QSize, size);
    QFETCH(QString, title);
    std::unique_ptr<QWidget> widget;
    if (kind == QLatin1String("SetSSID"))
        widget = std::make_unique<SetSSID>(QStringLiteral("Office_Wifi"), QStringLiteral("pw"));
    else
        widget = makeComponent(kind);
    QCOMPARE(widget->objectName(), kind);
    QCOMPARE(widget->size(), size);
    if (!title.isEmpty())
        QCOMPARE(widget->windowTitle(), title);
}

// --- SetPassword ------------------------------------------------------------

void TestDialogs::setPasswordRejects_data()
{
    QTest::addColumn<QString>("currentPassword");
    QTest::addColumn<QString>("currentSsid");
    QTest::addColumn<QString>("oldEntry");
    QTest::addColumn<QString>("newEntry");
    QTest::addColumn<QString>("confirmEntry");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("oldCleared");

    const QString pw = QStringLiteral("Oldpass_123");
    const QString ssid = QStringLiteral("Office_Wifi5");
    const QString good = QStringLiteral("Newpass_789");
    QTest::newRow("1 old password wrong")
        << pw << ssid << "oldpass_123" << good << good << "旧密码验证不通过,请重新输入！" << true;
    QTest::newRow("1 old password empty")
        << pw << ssid << "" << good << good << "旧密码验证不通过,请重新输入！" << true;
    QTest::newRow("1 comes first: everything else wrong too")
        << pw << ssid << "x"
        << ""
        << ""
        << "旧密码验证不通过,请重新输入！" << true;
    QTest::newRow("2 new password empty") << pw << ssid << pw << ""
                                          << ""
                                          << "新密码不能为空,请重新输入！" << false;
    QTest::newRow("3 seven characters") << pw << ssid << pw << "Ab1!xyz"
                                        << "Ab1!xyz"
                                        << "新密码少于8位,请重新输入！" << false;
    QTest::newRow("4 same as the old password")
        << pw << ssid << pw << pw << pw << "新密码与旧密码重复，请重新输入！" << false;
    QTest::newRow("4 before 5: old password equals the SSID")
        << pw << pw << pw << pw << pw << "新密码与旧密码重复，请重新输入！" << false;
    QTest::newRow("5 same as the SSID")
        << pw << ssid << pw << ssid << ssid << "新密码与SSID重复，请重新输入！！" << false;
    QTest::newRow("5 before 6: weak SSID") << pw << "abcdefgh" << pw << "abcdefgh"
                                           << "abcdefgh"
                                           << "新密码与SSID重复，请重新输入！！" << false;
    QTest::newRow("6 eight lower-case letters (score 2)") << pw << ssid << pw << "abcdefgh"
                                                          << "abcdefgh" << WEAK << false;
    QTest::newRow("6 eight non-ASCII characters (score 2)")
        << pw << ssid << pw << "密码密码密码密码"
        << "密码密码密码密码" << WEAK << false;
    QTest::newRow("6 before 7: weak and mismatched") << pw << ssid << pw << "abcdefgh"
                                                     << "zzz" << WEAK << false;
    QTest::newRow("7 confirmation differs") << pw << ssid << pw << good << "Newpass_780"
                                            << "新密码输入不统一,请重新输入！" << false;
    QTest::newRow("7 confirmation empty") << pw << ssid << pw << good << ""
                                          << "新密码输入不统一,请重新输入！" << false;
}

void TestDialogs::setPasswordRejects()
{
    QFETCH(QString, currentPassword);
    QFETCH(QString, currentSsid);
    QFETCH(QString, oldEntry);
    QFETCH(QString, newEntry);
    QFETCH(QString, confirmEntry);
    QFETCH(QString, message);
    QFETCH(bool, oldCleared);

    SetPassword dialog(currentPassword, currentSsid);
    dialog.setDismissable(true);
    QSignalSpy spy(&dialog, &SetPassword::sendPassword);
    edit(&dialog, "lineEdit_3")->setText(oldEntry);
    edit(&dialog, "lineEdit")->setText(newEntry);
    edit(&dialog, "lineEdit_2")->setText(confirmEntry);
    click(&dialog, "pushButton_OK");

    QCOMPARE(labelText(&dialog, "label_3"), message);
    QCOMPARE(child<QLabel>(&dialog, "label_3")->styleSheet(), QStringLiteral("color:red;"));
    QCOMPARE(spy.count(), 0);
    QVERIFY(dialog.isVisible());
    QCOMPARE(edit(&dialog, "lineEdit_3")->text(), oldCleared ? QString() : oldEntry);
    QCOMPARE(edit(&dialog, "lineEdit")->text(), oldCleared ? newEntry : QString());
    QCOMPARE(edit(&dialog, "lineEdit_2")->text(), oldCleared ? confirmEntry : QString());
    QCOMPARE(dialog.focusWidget(), edit(&dialog, oldCleared ? "lineEdit_3" : "lineEdit"));
}

void TestDialogs::setPasswordAccepts_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("8 lower-case letters and digits (score 3)") << "abcd1234";
    QTest::newRow("12 lower-case letters (score 3)") << "abcdefghijkl";
    QTest::newRow("differs from the SSID in case only") << "office_wifi5";
    QTest::newRow("blanks kept") << " Pass word 1 ";
}

void TestDialogs::setPasswordAccepts()
{
    QFETCH(QString, password);
    SetPassword dialog(QStringLiteral("Oldpass_123"), QStringLiteral("Office_Wifi5"));
    dialog.setDismissable(true);
    QSignalSpy spy(&dialog, &SetPassword::sendPassword);
    EmissionWitness witness;
    watchEmission(&dialog, &SetPassword::sendPassword, &witness);

    edit(&dialog, "lineEdit_3")->setText(QStringLiteral("Oldpass_123"));
    edit(&dialog, "lineEdit")->setText(password);
    edit(&dialog, "lineEdit_2")->setText(password);
    click(&dialog, "pushButton_OK");

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), password);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY2(!witness.visibleAtEmission, "the dialog must close before it emits");
    QCOMPARE(witness.resultAtEmission, int(QDialog::Accepted));
}

void TestDialogs::setPasswordIndicator()
{
    SetPassword dialog(QStringLiteral("Oldpass_123"), QStringLiteral("Office_Wifi5"));
    QLineEdit *newField = edit(&dialog, "lineEdit");
    QLabel *line = child<QLabel>(&dialog, "label_3");

    QTest::keyClicks(newField, QStringLiteral("abcdefg"));
    QCOMPARE(line->text(), QStringLiteral("新密码少于8位！"));
    QCOMPARE(line->styleSheet(), QStringLiteral("color:red;"));
    QTest::keyClicks(newField, QStringLiteral("h"));
    QCOMPARE(line->text(), QStringLiteral("密码复杂等级：低"));
    QTest::keyClicks(newField, QStringLiteral("1"));
    QCOMPARE(line->text(), QStringLiteral("密码复杂等级：中"));
    QCOMPARE(line->styleSheet(), QStringLiteral("color:green;"));
    newField->clear();
    QCOMPARE(line->text(), QStringLiteral("密码复杂等级：中"));

    // The confirmation and old-password fields do not drive the indicator.
    QTest::keyClicks(edit(&dialog, "lineEdit_2"), QStringLiteral("a"));
    QTest::keyClicks(edit(&dialog, "lineEdit_3"), QStringLiteral("a"));
    QCOMPARE(line->text(), QStringLiteral("密码复杂等级：中"));
}

void TestDialogs::setPasswordMessageVanishesWhileResponsive()
{
    SetPassword dialog(QStringLiteral("Oldpass_123"), QStringLiteral("Office_Wifi5"));
    dialog.setDismissable(true);
    QLabel *line = child<QLabel>(&dialog, "label_3");
    QLineEdit *oldField = edit(&dialog, "lineEdit_3");

    QElapsedTimer clock;
    clock.start();
    click(&dialog, "pushButton_OK");
    QVERIFY2(clock.elapsed() < 500, "the confirmation must not block for the pause");
    QCOMPARE(line->text(), QStringLiteral("旧密码验证不通过,请重新输入！"));

    QTest::qWait(300);
    QTest::keyClicks(oldField, QStringLiteral("typed"));
    QCOMPARE(oldField->text(), QStringLiteral("typed"));
    QVERIFY(!line->text().isEmpty());

    QTRY_VERIFY_WITH_TIMEOUT(line->text().isEmpty(), 4000);
    QVERIFY2(clock.elapsed() >= 1900, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(oldField->text(), QStringLiteral("typed"));
}

void TestDialogs::setPasswordSecondRejectionRestartsPause()
{
    SetPassword dialog(QStringLiteral("Oldpass_123"), QStringLiteral("Office_Wifi5"));
    dialog.setDismissable(true);
    QLabel *line = child<QLabel>(&dialog, "label_3");
    click(&dialog, "pushButton_OK");
    QTest::qWait(1200);
    edit(&dialog, "lineEdit_3")->setText(QStringLiteral("Oldpass_123"));
    click(&dialog, "pushButton_OK");
    QCOMPARE(line->text(), QStringLiteral("新密码不能为空,请重新输入！"));
    QTest::qWait(1200);
    QVERIFY2(!line->text().isEmpty(), "the first pause must not clear the second message");
    QTRY_VERIFY_WITH_TIMEOUT(line->text().isEmpty(), 3000);
}

void TestDialogs::setPasswordNewFieldHasNoInputMethod()
{
    SetPassword dialog(QStringLiteral("Oldpass_123"), QStringLiteral("Office_Wifi5"));
    QLineEdit *newField = edit(&dialog, "lineEdit");
    QLabel *eye = child<QLabel>(&dialog, "label_eye2");
    QVERIFY(!newField->testAttribute(Qt::WA_InputMethodEnabled));
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(eye, &enter);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(eye, &leave);
    QVERIFY(!newField->testAttribute(Qt::WA_InputMethodEnabled));
}

// --- LoginSetings -------------------------------------------------------------

void TestDialogs::loginSetingsRejects_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("oldEntry");
    QTest::addColumn<QString>("newEntry");
    QTest::addColumn<QString>("confirmEntry");
    QTest::addColumn<QString>("message");

    const QString acc = QStringLiteral("Operator01");
    const QString pw = QStringLiteral("Initpass_456");
    const QString good = QStringLiteral("Newpass_789");
    QTest::newRow("1 old password wrong")
        << acc << "initpass_456" << good << good << "旧密码验证不通过，请重新输入！";
    QTest::newRow("1 comes first") << acc << ""
                                   << ""
                                   << ""
                                   << "旧密码验证不通过，请重新输入！";
    QTest::newRow("2 new password empty") << acc << pw << ""
                                          << ""
                                          << "新密码不能为空！";
    QTest::newRow("3 seven characters") << acc << pw << "Ab1!xyz"
                                        << "Ab1!xyz"
                                        << "新密码少于8位，请重新输入！";
    QTest::newRow("4 eight lower-case letters") << acc << pw << "abcdefgh"
                                                << "abcdefgh" << WEAK;
    QTest::newRow("4 before 5: weak account") << "abcdefgh" << pw << "abcdefgh"
                                              << "abcdefgh" << WEAK;
    QTest::newRow("5 same as the account")
        << acc << pw << acc << acc << "新密码与账号重复，请重新输入！";
    QTest::newRow("5 before 6: account equals the old password")
        << pw << pw << pw << pw << "新密码与账号重复，请重新输入！";
    QTest::newRow("6 same as the old password")
        << acc << pw << pw << pw << "新密码与旧密码重复，请重新输入！";
    QTest::newRow("7 confirmation differs") << acc << pw << good << "Newpass_78"
                                            << "新密码输入不统一，请重新输入！";
}

void TestDialogs::loginSetingsRejects()
{
    QFETCH(QString, account);
    QFETCH(QString, oldEntry);
    QFETCH(QString, newEntry);
    QFETCH(QString, confirmEntry);
    QFETCH(QString, message);

    LoginSetings dialog(account, QStringLiteral("Initpass_456"));
    dialog.setDismissable(true);
    QSignalSpy spy(&dialog, &LoginSetings::sendSettings);
    edit(&dialog, "lineEdit_oldKey")->setText(oldEntry);
    edit(&dialog, "lineEdit_newKey")->setText(newEntry);
    edit(&dialog, "lineEdit_newKey_2")->setText(confirmEntry);
    click(&dialog, "pushButton_sure");

    QCOMPARE(labelText(&dialog, "label_tips"), message);
    QCOMPARE(child<QLabel>(&dialog, "label_tips")->styleSheet(), QStringLiteral("color:red;"));
    QCOMPARE(spy.count(), 0);
    QVERIFY(dialog.isVisible());
    const bool oldAtFault = message.startsWith("旧密码"); // else the old one stays
    QCOMPARE(edit(&dialog, "lineEdit_oldKey")->text(), oldAtFault ? QString() : oldEntry);
    QCOMPARE(edit(&dialog, "lineEdit_newKey")->text(), oldAtFault ? newEntry : QString());
    QCOMPARE(dialog.focusWidget(),
             edit(&dialog, oldAtFault ? "lineEdit_oldKey" : "lineEdit_newKey"));
}

void TestDialogs::loginSetingsAccepts_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("12 lower-case letters (score 3)") << "abcdefghijkl";
    QTest::newRow("16 characters, the limit") << "Abcdefgh_1234567";
    QTest::newRow("account in other case") << "operator01";
}

void TestDialogs::loginSetingsAccepts()
{
    QFETCH(QString, password);
    LoginSetings dialog(QStringLiteral("Operator01"), QStringLiteral("Initpass_456"));
    dialog.setDismissable(true);
    QSignalSpy spy(&dialog, &LoginSetings::sendSettings);
    EmissionWitness witness;
    watchEmission(&dialog, &LoginSetings::sendSettings, &witness);

    edit(&dialog, "lineEdit_oldKey")->setText(QStringLiteral("Initpass_456"));
    edit(&dialog, "lineEdit_newKey")->setText(password);
    edit(&dialog, "lineEdit_newKey_2")->setText(password);
    click(&dialog, "pushButton_sure");

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("Operator01"));
    QCOMPARE(spy.at(0).at(1).toString(), password);
    QVERIFY(!dialog.isVisible());
    QVERIFY2(!witness.visibleAtEmission, "the dialog must close before it emits");
    QCOMPARE(witness.resultAtEmission, int(QDialog::Accepted));
}

void TestDialogs::loginSetingsMessageStaysUntilTyping()
{
    LoginSetings dialog(QStringLiteral("Operator01"), QStringLiteral("Initpass_456"));
    dialog.setDismissable(true);
    QLabel *tips = child<QLabel>(&dialog, "label_tips");
    const QString rejected = QStringLiteral("旧密码验证不通过，请重新输入！");

    click(&dialog, "pushButton_sure");
    QCOMPARE(tips->text(), rejected);
    QTest::qWait(2300);
    QCOMPARE(tips->text(), rejected);
    QTest::keyClicks(edit(&dialog, "lineEdit_newKey_2"), QStringLiteral("x"));
    QCOMPARE(tips->text(), rejected);
    QTest::keyClicks(edit(&dialog, "lineEdit_oldKey"), QStringLiteral("x"));
    QVERIFY(tips->text().isEmpty());

    click(&dialog, "pushButton_sure");
    QCOMPARE(tips->text(), rejected);
    QTest::keyClicks(edit(&dialog, "lineEdit_newKey"), QStringLiteral("x"));
    QCOMPARE(tips->text(), QStringLiteral("新密码少于8位！"));
    QTest::keyClicks(edit(&dialog, "lineEdit_newKey"), QStringLiteral("Y1_abcd"));
    QCOMPARE(tips->text(), QStringLiteral("密码复杂等级：高"));
    QCOMPARE(tips->styleSheet(), QStringLiteral("color:green;"));
}

void TestDialogs::loginSetingsNewPasswordLimit()
{
    LoginSetings dialog(QStringLiteral("Operator01"), QStringLiteral("Initpass_456"));
    dialog.setDismissable(true);
    QSignalSpy spy(&dialog, &LoginSetings::sendSettings);
    const QString seventeen = QStringLiteral("Abcdefgh_12345678");
    QCOMPARE(seventeen.size(), 17);

    edit(&dialog, "lineEdit_oldKey")->setText(QStringLiteral("Initpass_456"));
    QTest::keyClicks(edit(&dialog, "lineEdit_newKey"), seventeen);
    QCOMPARE(edit(&dialog, "lineEdit_newKey")->text(), seventeen.left(16));
    QTest::keyClicks(edit(&dialog, "lineEdit_newKey_2"), seventeen);
    QCOMPARE(edit(&dialog, "lineEdit_newKey_2")->text(), seventeen);
    click(&dialog, "pushButton_sure");
    QCOMPARE(labelText(&dialog, "label_tips"), QStringLiteral("新密码输入不统一，请重新输入！"));
    QCOMPARE(spy.count(), 0);
}

// The SSID rule lives in SetPassword, the account rule in LoginSetings.
void TestDialogs::ssidAndAccountRulesBelongToOneDialogEach()
{
    const QString name = QStringLiteral("Shared_Name1");
    {
        SetPassword asSsid(QStringLiteral("Oldpass_123"), name);
        asSsid.setDismissable(true);
        edit(&asSsid, "lineEdit_3")->setText(QStringLiteral("Oldpass_123"));
        edit(&asSsid, "lineEdit")->setText(name);
        edit(&asSsid, "lineEdit_2")->setText(name);
        click(&asSsid, "pushButton_OK");
        QCOMPARE(labelText(&asSsid, "label_3"), QStringLiteral("新密码与SSID重复，请重新输入！！"));
    }
    {
        LoginSetings asAccount(name, QStringLiteral("Initpass_456"));
        asAccount.setDismissable(true);
        edit(&asAccount, "lineEdit_oldKey")->setText(QStringLiteral("Initpass_456"));
        edit(&asAccount, "lineEdit_newKey")->setText(name);
        edit(&asAccount, "lineEdit_newKey_2")->setText(name);
        click(&asAccount, "pushButton_sure");
        QCOMPARE(labelText(&asAccount, "label_tips"),
                 QStringLiteral("新密码与账号重复，请重新输入！"));
    }
    {
        // The same text as a login password whose account differs: accepted.
        LoginSetings other(QStringLiteral("Operator01"), QStringLiteral("Initpass_456"));
        other.setDismissable(true);
        QSignalSpy spy(&other, &LoginSetings::sendSettings);
        edit(&other, "lineEdit_oldKey")->setText(QStringLiteral("Initpass_456"));
        edit(&other, "lineEdit_newKey")->setText(name);
        edit(&other, "lineEdit_newKey_2")->setText(name);
        click(&other, "pushButton_sure");
        QCOMPARE(spy.count(), 1);
    }
    {
        // As a Wi-Fi password with another SSID: accepted, whatever the account.
        SetPassword other(QStringLiteral("Oldpass_123"), QStringLiteral("Office_Wifi5"));
        other.setDismissable(true);
        QSignalSpy spy(&other, &SetPassword::sendPassword);
        edit(&other, "lineEdit_3")->setText(QStringLiteral("Oldpass_123"));
        edit(&other, "lineEdit")->setText(name);
        edit(&other, "lineEdit_2")->setText(name);
        click(&other, "pushButton_OK");
        QCOMPARE(spy.count(), 1);
    }
}

// --- dismissable switch -------------------------------------------------------

void TestDialogs::notDismissableRefusesEveryWayOut_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("cancelName");
    QTest::newRow("SetPassword") << "SetPassword"
                                 << "pushButton_Cancel";
    QTest::newRow("LoginSetings") << "LoginSetings"
                                  << "pushButton_cancel";
}

void TestDialogs::notDismissableRefusesEveryWayOut()
{
    QFETCH(QString, kind);
    QFETCH(QString, cancelName);
    std::unique_ptr<DismissableDialog> dialog = makeDismissable(kind);
    QVERIFY(!dialog->isVisible());
    dialog->setDismissable(false);

    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->isModal());
    QCOMPARE(dialog->windowFlags(), Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    QVERIFY(!child<QPushButton>(dialog.get(), cancelName)->isEnabled());

    QVERIFY(!dialog->close());
    QCloseEvent closeEvent;
    QCoreApplication::sendEvent(dialog.get(), &closeEvent);
    QVERIFY(!closeEvent.isAccepted());
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    dialog->reject();
    QVERIFY(dialog->isVisible());
}

void TestDialogs::dismissableClosesWithoutEmitting_data()
{
    notDismissableRefusesEveryWayOut_data();
}

void TestDialogs::dismissableClosesWithoutEmitting()
{
    QFETCH(QString, kind);
    QFETCH(QString, cancelName);
    std::unique_ptr<DismissableDialog> dialog = makeDismissable(kind);
    const char *resultSignal = kind == QLatin1String("SetPassword")
                                   ? SIGNAL(sendPassword(QString))
                                   : SIGNAL(sendSettings(QString, QString));
    QSignalSpy resultSpy(dialog.get(), resultSignal);
    QVERIFY(resultSpy.isValid());
    // Switching back and forth: the last call wins.
    dialog->setDismissable(false);
    dialog->setDismissable(true);

    QVERIFY(dialog->isVisible());
    // The toolkit adds the system menu hint that a close button needs.
    const Qt::WindowFlags flags = dialog->windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint) && flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QPushButton *cancel = child<QPushButton>(dialog.get(), cancelName);
    QVERIFY(cancel->isEnabled());
    cancel->click();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Rejected));

    dialog->setDismissable(true);
    QVERIFY(dialog->isVisible());
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    QVERIFY(!dialog->isVisible());

    dialog->setDismissable(true);
    QVERIFY(dialog->close());
    QVERIFY(!dialog->isVisible());
    QCOMPARE(resultSpy.count(), 0);
}

// --- credential fields --------------------------------------------------------

void TestDialogs::clipboardShortcutsSwallowed_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("guarded");
    const char *fields[][2] = {{"SetPassword", "lineEdit_3"},
                               {"SetPassword", "lineEdit"},
                               {"SetPassword", "lineEdit_2"},
                               {"LoginSetings", "lineEdit_oldKey"},
                               {"LoginSetings", "lineEdit_newKey"},
                               {"LoginSetings", "lineEdit_newKey_2"},
                               {"Login", "lineEdit_id"},
                               {"Login", "lineEdit_password"}};
    for (const auto &f : fields)
        QTest::addRow("%s/%s", f[0], f[1]) << f[0] << f[1] << true;
    // Proves that the key clicks below would act on a line edit left alone.
    QTest::newRow("unguarded line edit (harness check)") << "plain" << QString() << false;
}

void TestDialogs::clipboardShortcutsSwallowed()
{
    QFETCH(QString, kind);
    QFETCH(QString, field);
    QFETCH(bool, guarded);
    std::unique_ptr<QWidget> owner = makeComponent(kind);
    QLineEdit *line = guarded ? edit(owner.get(), field) : static_cast<QLineEdit *>(owner.get());
    // Normal echo, as while the eye is hovered: copy and cut would work then.
    line->setEchoMode(QLineEdit::Normal);
    QClipboard *clipboard = QGuiApplication::clipboard();

    line->setText(QStringLiteral("abc"));
    QTest::keyClick(line, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(line->text() == QLatin1String("abc"), guarded);
    line->setText(QStringLiteral("abc"));
    QTest::keyClick(line, Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(line->text() == QLatin1String("abc"), guarded);

    line->setText(QStringLiteral("abc"));
    QTest::keyClick(line, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(line, Qt::Key_Z);
    QCOMPARE(line->text() == QLatin1String("abcz"), guarded);

    line->setText(QStringLiteral("secret"));
    line->selectAll();
    QTest::keyClick(line, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text() == kClipboardText, guarded);

    clipboard->setText(kClipboardText);
    line->setText(QStringLiteral("secret"));
    line->selectAll();
    QTest::keyClick(line, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(line->text() == QLatin1String("secret"), guarded);
    QCOMPARE(clipboard->text() == kClipboardText, guarded);

    if (guarded) {
        QCOMPARE(line->contextMenuPolicy(), Qt::NoContextMenu);
        QVERIFY(!line->acceptDrops());
        // Ordinary typing still works.
        line->deselect();
        QTest::keyClicks(line, QStringLiteral("1"));
        QCOMPARE(line->text(), QStringLiteral("secret1"));
    }
}

void TestDialogs::eyeTogglesEcho_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("eye");
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("toggles");
    QTest::newRow("SetPassword old") << "SetPassword"
                                     << "label_eye3"
                                     << "lineEdit_3" << true;
    QTest::newRow("SetPassword new") << "SetPassword"
                                     << "label_eye2"
                                     << "lineEdit" << true;
    QTest::newRow("SetPassword again") << "SetPassword"
                                       << "label_eye"
                                       << "lineEdit_2" << true;
    QTest::newRow("LoginSetings old") << "LoginSetings"
                                      << "label_eye1"
                                      << "lineEdit_oldKey" << true;
    QTest::newRow("LoginSetings new") << "LoginSetings"
                                      << "label_eye2"
                                      << "lineEdit_newKey" << true;
    QTest::newRow("LoginSetings again") << "LoginSetings"
                                        << "label_eye2_2"
                                        << "lineEdit_newKey_2" << true;
    QTest::newRow("Login password") << "Login"
                                    << "label_eye2"
                                    << "lineEdit_password" << true;
    QTest::newRow("Login account: shown in clear, eye inert") << "Login"
                                                              << "label_eye1"
                                                              << "lineEdit_id" << false;
}

void TestDialogs::eyeTogglesEcho()
{
    QFETCH(QString, kind);
    QFETCH(QString, eye);
    QFETCH(QString, field);
    QFETCH(bool, toggles);
    std::unique_ptr<QWidget> owner = makeComponent(kind);
    QLabel *eyeLabel = child<QLabel>(owner.get(), eye);
    QLineEdit *line = edit(owner.get(), field);
    const QLineEdit::EchoMode resting = toggles ? QLineEdit::Password : QLineEdit::Normal;
    QCOMPARE(eyeLabel->minimumWidth() >= 15, true);

    QCOMPARE(line->echoMode(), resting);
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(eyeLabel, &enter);
    QCOMPARE(line->echoMode(), QLineEdit::Normal);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(eyeLabel, &leave);
    QCOMPARE(line->echoMode(), resting);
}

// --- Login ----------------------------------------------------------------------

void TestDialogs::loginPassesTextsAndClears()
{
    Login login;
    QSignalSpy spy(&login, &Login::isPass);
    login.enterEnable(true);
    edit(&login, "lineEdit_id")->setText(QStringLiteral("admin"));
    edit(&login, "lineEdit_password")->setText(QStringLiteral(" p w "));
    click(&login, "pushButton_enter");

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("admin"));
    QCOMPARE(spy.at(0).at(1).toString(), QStringLiteral(" p w "));
    QVERIFY(edit(&login, "lineEdit_id")->text().isEmpty());
    QVERIFY(edit(&login, "lineEdit_password")->text().isEmpty());
    QVERIFY(!child<QPushButton>(&login, "pushButton_enter")->isEnabled());

    // No check of its own: empty fields go out too.
    login.enterEnable(true);
    click(&login, "pushButton_enter");
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toString(), QString());
}

void TestDialogs::loginEnterDisabledUntilEnabled()
{
    Login login;
    login.show();
    QSignalSpy spy(&login, &Login::isPass);
    QPushButton *enter = child<QPushButton>(&login, "pushButton_enter");
    QVERIFY(!enter->isEnabled());
    QTest::mouseClick(enter, Qt::LeftButton);
    QCOMPARE(spy.count(), 0);
    login.enterEnable(true);
    QVERIFY(enter->isEnabled());
    QTest::mouseClick(enter, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QTest::mouseClick(enter, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    login.enterEnable(true);
    login.enterEnable(false);
    QVERIFY(!enter->isEnabled());

    // Enter in the password field presses the button only while it is enabled.
    QTest::keyClick(edit(&login, "lineEdit_password"), Qt::Key_Return);
    login.enterEnable(true);
    QTest::keyClick(edit(&login, "lineEdit_password"), Qt::Key_Return);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(login.focusWidget(), edit(&login, "lineEdit_id")); // typed again from the account
}

// The device page answers a login synchronously and enables the button again
// before isPass returns; that must stick.
void TestDialogs::loginReceiverMayReenableEnter()
{
    Login login;
    login.enterEnable(true);
    QString seenId;
    connect(&login, &Login::isPass, &login, [&](const QString &id) {
        seenId = id;
        login.enterEnable(true);
    });
    edit(&login, "lineEdit_id")->setText(QStringLiteral("admin"));
    click(&login, "pushButton_enter");
    QCOMPARE(seenId, QStringLiteral("admin"));
    QVERIFY(child<QPushButton>(&login, "pushButton_enter")->isEnabled());
}

// --- SetSSID --------------------------------------------------------------------

void TestDialogs::setSsidRejects_data()
{
    QTest::addColumn<QString>("currentSsid");
    QTest::addColumn<QString>("currentPassword");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("message");
    QTest::newRow("1 empty") << "Office_Wifi"
                             << "Secret_123"
                             << ""
                             << "新SSID不能为空！";
    QTest::newRow("2 same as the current SSID") << "Office_Wifi"
                                                << "Secret_123"
                                                << "Office_Wifi"
                                                << "新SSID不能与原SSID重复！";
    QTest::newRow("2 before 3: SSID equals the password") << "Same_Text"
                                                          << "Same_Text"
                                                          << "Same_Text"
                                                          << "新SSID不能与原SSID重复！";
    QTest::newRow("3 same as the Wi-Fi password") << "Office_Wifi"
                                                  << "Secret_123"
                                                  << "Secret_123"
                                                  << "新SSID不能与密码重复！";
}

void TestDialogs::setSsidRejects()
{
    QFETCH(QString, currentSsid);
    QFETCH(QString, currentPassword);
    QFETCH(QString, entry);
    QFETCH(QString, message);
    SetSSID dialog(currentSsid, currentPassword);
    dialog.show();
    QSignalSpy spy(&dialog, &SetSSID::sendNewSSID);
    QCOMPARE(labelText(&dialog, "label_SSID"), currentSsid);
    edit(&dialog, "lineEdit_setSSID")->setText(entry);
    click(&dialog, "pushButton_Ok");

    QCOMPARE(labelText(&dialog, "label_tip"), message);
    QCOMPARE(child<QLabel>(&dialog, "label_tip")->styleSheet(), QStringLiteral("color:red"));
    QVERIFY(edit(&dialog, "lineEdit_setSSID")->text().isEmpty());
    QVERIFY(dialog.isVisible());
    QCOMPARE(spy.count(), 0);
}

void TestDialogs::setSsidAccepts_data()
{
    QTest::addColumn<QString>("entry");
    QTest::newRow("differs in letter case only") << "office_wifi";
    QTest::newRow("leading and trailing blanks kept") << "  Office_Wifi ";
    QTest::newRow("password in another case") << "secret_123";
    QTest::newRow("rich-text look-alike kept as typed") << "<b>Net</b>";
}

void TestDialogs::setSsidAccepts()
{
    QFETCH(QString, entry);
    SetSSID dialog(QStringLiteral("Office_Wifi"), QStringLiteral("Secret_123"));
    dialog.show();
    QSignalSpy spy(&dialog, &SetSSID::sendNewSSID);
    EmissionWitness witness;
    watchEmission(&dialog, &SetSSID::sendNewSSID, &witness);
    edit(&dialog, "lineEdit_setSSID")->setText(entry);
    click(&dialog, "pushButton_Ok");

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), entry);
    QVERIFY(!dialog.isVisible());
    QVERIFY2(!witness.visibleAtEmission, "the dialog must close before it emits");
    QCOMPARE(witness.resultAtEmission, int(QDialog::Accepted));
}

void TestDialogs::setSsidTypingClearsMessage()
{
    SetSSID dialog(QStringLiteral("Office_Wifi"), QStringLiteral("Secret_123"));
    dialog.show();
    QLabel *tip = child<QLabel>(&dialog, "label_tip");
    edit(&dialog, "lineEdit_setSSID")->setText(QStringLiteral("Office_Wifi"));
    click(&dialog, "pushButton_Ok");
    QCOMPARE(tip->text(), QStringLiteral("新SSID不能与原SSID重复！"));
    QTest::keyClick(edit(&dialog, "lineEdit_setSSID"), Qt::Key_N);
    QVERIFY(tip->text().isEmpty());

    click(&dialog, "pushButton_Cancel");
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
