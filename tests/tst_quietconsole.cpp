// What a login session leaves on the console. The test runs itself again as a
// child process that logs in to the module simulator (the login refreshes the
// device view) and changes the login password, and reads everything the child
// wrote to standard output and standard error: no credential secret may
// appear there unless the maint.crypto category is named in QT_LOGGING_RULES.
#include "base/logging.h"
#include "crypto/credential.h"
#include "serial/portenumeration.h"
#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"
#include "support/pagedriver.h"
#include "ui/device/sigledebug.h"
#include "ui/dialogs/loginsetings.h"

#include <QApplication>
#include <QProcess>
#include <QtTest>

#include <cstdio>

namespace
{

const char *const CHILD_SWITCH = "--session-child";
const QString ACCOUNT = QStringLiteral("admin");
const QString LOGIN_PASSWORD = QStringLiteral("Secret_789x");
const QString NEW_PASSWORD = QStringLiteral("Other_Pass_42");
const QString WIFI_PASSWORD = QStringLiteral("Wifi_pass_1");

// The child: exits with the number of the first step that did not take effect, 0 when all did.
int runSessionChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    ModuleConfig config;
    config.loginPassword = LOGIN_PASSWORD;
    ModuleModel model(config);
    model.setWifiPassword(WIFI_PASSWORD);
    PtyLink link(&model);
    PortEnumeration::addExtraPort(link.slavePath());
    int failedStep = 0;
    {
        SigleDebug page;
        PageDriver driver(&page);
        page.show();
        if (!driver.openPort(link.slavePath()))
            failedStep = 1;
        if (!failedStep)
            driver.login(ACCOUNT, LOGIN_PASSWORD);
        if (!failedStep && (!driver.inDeviceView() || driver.wifiPasswordText() != WIFI_PASSWORD))
            failedStep = 2;
        if (!failedStep) {
            // The login settings dialog opens at once, without a nested wait.
            driver.button("pushButton_loginSettings")->click();
            auto *dialog = page.findChild<LoginSetings *>();
            if (!dialog)
                return 3;
            dialog->findChild<QLineEdit *>("lineEdit_oldKey")->setText(LOGIN_PASSWORD);
            dialog->findChild<QLineEdit *>("lineEdit_newKey")->setText(NEW_PASSWORD);
            dialog->findChild<QLineEdit *>("lineEdit_newKey_2")->setText(NEW_PASSWORD);
            dialog->findChild<QPushButton *>("pushButton_sure")->click();
            // The change runs on the page's line; its answer ends the session view.
            if (!QTest::qWaitFor([&] { return driver.inLoginView(); }, PageDriver::ANSWER_MS) ||
                !model.acceptsLoginPassword(NEW_PASSWORD))
                failedStep = 3;
        }
    }
    PortEnumeration::reset();
    std::printf("child stdout\n"); // shows that both streams are captured
    std::fprintf(stderr, "child stderr, failed step %d\n", failedStep);
    return failedStep;
}

struct Secret {
    const char *name;
    QByteArray text; // plain text, or lower-case hex
    bool traced;     // written to maint.crypto when it is on; else never written
};

QList<Secret> sessionSecrets()
{
    QList<Secret> secrets = {
        {"credential key", credentialAesKey().toHex(), true},
        {"credential IV", credentialIv().toHex(), true},
        {"Wi-Fi password", WIFI_PASSWORD.toUtf8(), true},
        {"Wi-Fi password in a frame", WIFI_PASSWORD.toUtf8().toHex(), false},
        {"login password", LOGIN_PASSWORD.toUtf8(), false},
        {"new login password", NEW_PASSWORD.toUtf8(), false},
    };
    // The simulated module takes the derived fields: they are the derived keys.
    for (const QString &text : {ACCOUNT, LOGIN_PASSWORD, NEW_PASSWORD})
        secrets.append(
            {"credential field", credentialField(text, CredentialScheme::Derived).toHex(), true});
    return secrets;
}

} // namespace

class TestQuietConsole : public QObject
{
    Q_OBJECT

private slots:
    void sessionConsoleShowsSecretsOnlyWhenNamed_data();
    void sessionConsoleShowsSecretsOnlyWhenNamed();
    void secretsNeedTheirExactName_data();
    void secretsNeedTheirExactName();
};

void TestQuietConsole::sessionConsoleShowsSecretsOnlyWhenNamed_data()
{
    QTest::addColumn<QString>("rules"); // null: QT_LOGGING_RULES unset
    QTest::addColumn<bool>("secretsShown");
    QTest::addColumn<bool>("framesShown");
    QTest::newRow("no rules: quiet") << QString() << false << false;
    QTest::newRow("every debug line by wildcard: frames, no secrets")
        << QStringLiteral("*.debug=true") << false << true;
    QTest::newRow("maint.crypto named: the secrets")
        << QStringLiteral("maint.crypto.debug=true") << true << false;
}

void TestQuietConsole::sessionConsoleShowsSecretsOnlyWhenNamed()
{
    QFETCH(QString, rules);
    QFETCH(bool, secretsShown);
    QFETCH(bool, framesShown);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_LOGGING_RULES"));
    if (!rules.isNull())
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), rules);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(CHILD_SWITCH)});
    QVERIFY(child.waitForFinished(120000));
    const QByteArray out = child.readAllStandardOutput();
    const QByteArray err = child.readAllStandardError();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, err.constData());
    QVERIFY(out.contains("child stdout") && err.contains("child stderr"));

    const QByteArray console = out + '\n' + err;
    // Hex is searched without blanks and in lower case: "AB CD" and "abcd" alike.
    const QByteArray hexConsole = QByteArray(console).replace(' ', "").toLower();
    for (const Secret &secret : sessionSecrets()) {
        const bool found = console.contains(secret.text) || hexConsole.contains(secret.text);
        QVERIFY2(found == (secretsShown && secret.traced),
                 qPrintable(QString::fromLatin1(secret.name) + (found ? " found" : " missing")));
    }
    QCOMPARE(console.contains("GET_WIFI:"), framesShown);
    QCOMPARE(console.contains("** ** **"), framesShown); // the Wi-Fi password bytes masked
}

void TestQuietConsole::secretsNeedTheirExactName_data()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("named for every level") << QStringLiteral("maint.crypto=true") << true;
    QTest::newRow("the tool's own wildcard") << QStringLiteral("maint.*.debug=true") << false;
    QTest::newRow("wildcard on the name") << QStringLiteral("maint.crypto*=true") << false;
    QTest::newRow("among others, on lines, with blanks")
        << QStringLiteral("maint.serial.debug=true\n maint.crypto.debug = true") << true;
    QTest::newRow("named, then switched off")
        << QStringLiteral("maint.crypto.debug=true;maint.crypto.debug=false") << false;
    QTest::newRow("another level named") << QStringLiteral("maint.crypto.warning=true") << false;
}

void TestQuietConsole::secretsNeedTheirExactName()
{
    QFETCH(QString, rules);
    QFETCH(bool, enabled);
    QCOMPARE(rulesNameCategoryExactly(rules, QStringLiteral("maint.crypto")), enabled);
}

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], CHILD_SWITCH) == 0)
        return runSessionChild(argc, argv);
    QCoreApplication app(argc, argv);
    TestQuietConsole test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_quietconsole.moc"
