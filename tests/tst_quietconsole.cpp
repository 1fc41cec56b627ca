// What a login session leaves on the console. The test runs itself again as a
// child process that logs in to the module simulator, refreshes and changes
// the login password, and reads everything the child wrote to standard output
// and standard error: no credential secret may appear there unless the
// maint.crypto category is named in QT_LOGGING_RULES.
#include "crypto/credential.h"
#include "protocol/sigledebug.h"
#include "serial/portenumeration.h"
#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"
#include "support/pagedriver.h"
#include "ui/dialogs/loginsetings.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QtTest>

#include <cstdio>
#include <memory>

namespace
{

const char *const CHILD_SWITCH = "--session-child";
const char *const STDOUT_MARK = "child stdout: session done";
const char *const STDERR_MARK = "child stderr: session done";

const QString ACCOUNT = QStringLiteral("admin");
const QString LOGIN_PASSWORD = QStringLiteral("Secret_789x");
const QString NEW_PASSWORD = QStringLiteral("Other_Pass_42");
const QString WIFI_PASSWORD = QStringLiteral("Wifi_pass_1");

// Lets the event loop run until `done` holds or ten seconds have passed.
template <typename Condition> bool processEventsUntil(Condition done)
{
    const QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

// The child: a whole session against the simulator with the process's own
// logging rules. Exits 0 only when every step took effect.
int runSessionChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    ModuleConfig config;
    config.loginPassword = LOGIN_PASSWORD;
    auto model = std::make_unique<ModuleModel>(config);
    model->setWifiPassword(WIFI_PASSWORD);
    auto link = std::make_unique<PtyLink>(model.get());
    PortEnumeration::addExtraPort(link->slavePath());
    auto page = std::make_unique<SigleDebug>();
    PageDriver driver(page.get());
    page->show();

    int failedStep = 0;
    if (!link->isOpen() || !driver.openPort(link->slavePath())) {
        failedStep = 1;
    } else {
        driver.login(ACCOUNT, LOGIN_PASSWORD); // the login refreshes the device view
        if (!driver.inDeviceView() || driver.wifiPasswordText() != WIFI_PASSWORD)
            failedStep = 2;
    }
    if (failedStep == 0) {
        QTest::mouseClick(driver.button("pushButton_loginSettings"), Qt::LeftButton);
        const auto dialogs = [&] { return page->findChildren<LoginSetings *>(); };
        if (!processEventsUntil([&] { return !dialogs().isEmpty(); })) {
            failedStep = 3;
        } else {
            LoginSetings *dialog = dialogs().first();
            dialog->findChild<QLineEdit *>("lineEdit_oldKey")->setText(LOGIN_PASSWORD);
            dialog->findChild<QLineEdit *>("lineEdit_newKey")->setText(NEW_PASSWORD);
            dialog->findChild<QLineEdit *>("lineEdit_newKey_2")->setText(NEW_PASSWORD);
            dialog->findChild<QPushButton *>("pushButton_sure")->click();
            if (!driver.inLoginView() || !model->acceptsLoginPassword(NEW_PASSWORD))
                failedStep = 4;
        }
    }
    page.reset();
    link.reset();
    model.reset();
    PortEnumeration::reset();
    std::printf("%s\n", STDOUT_MARK);
    std::fflush(stdout);
    std::fprintf(stderr, "%s (failed step %d)\n", STDERR_MARK, failedStep);
    return failedStep;
}

struct ChildRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the child with QT_LOGGING_RULES set to `rules`, or unset when null.
ChildRun runChild(const QString &rules)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_LOGGING_RULES"));
    if (!rules.isNull())
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), rules);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(CHILD_SWITCH)});
    ChildRun run;
    if (!child.waitForFinished(120000))
        child.kill();
    child.waitForFinished(5000);
    if (child.exitStatus() == QProcess::NormalExit)
        run.exitCode = child.exitCode();
    run.out = child.readAllStandardOutput();
    run.err = child.readAllStandardError();
    return run;
}

// Hex is looked for without blanks and in lower case, so that both the
// traces' "AB CD" and toHex()'s "abcd" forms are found.
QByteArray hexSearchForm(const QByteArray &text)
{
    return QByteArray(text).replace(' ', "").toLower();
}

struct Secret {
    const char *name;
    QByteArray text; // plain text, or hex in hexSearchForm
    bool traced;     // written to the maint.crypto category; else never written
};

QList<Secret> sessionSecrets()
{
    QList<Secret> secrets = {
        {"credential key", credentialAesKey().toHex(), true},
        {"credential IV", credentialIv().toHex(), true},
        {"Wi-Fi password", WIFI_PASSWORD.toUtf8(), true},
        {"Wi-Fi password bytes", WIFI_PASSWORD.toUtf8().toHex(), false},
        {"login password", LOGIN_PASSWORD.toUtf8(), false},
        {"new login password", NEW_PASSWORD.toUtf8(), false},
        {"credential IV text", credentialIv(), false},
    };
    // The module runs the derived scheme: its fields are the derived keys.
    for (const QString &text : {ACCOUNT, LOGIN_PASSWORD, NEW_PASSWORD}) {
        secrets.append(
            {"derived field", credentialField(text, CredentialScheme::Derived).toHex(), true});
        secrets.append({"AES block", encryptCredential(text).toHex(), false});
    }
    return secrets;
}

} // namespace

class TestQuietConsole : public QObject
{
    Q_OBJECT

private slots:
    void sessionConsoleShowsSecretsOnlyWhenNamed_data();
    void sessionConsoleShowsSecretsOnlyWhenNamed();
};

void TestQuietConsole::sessionConsoleShowsSecretsOnlyWhenNamed_data()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<bool>("secretsShown");
    QTest::addColumn<bool>("framesShown");
    QTest::newRow("no rules: quiet") << QString() << false << false;
    QTest::newRow("everything by wildcard: frames, no secrets")
        << QStringLiteral("*.debug=true") << false << true;
    QTest::newRow("maint.* wildcard: no secrets")
        << QStringLiteral("maint.*.debug=true") << false << true;
    QTest::newRow("maint.crypto named: secrets")
        << QStringLiteral("maint.crypto.debug=true") << true << false;
    QTest::newRow("maint.crypto named, then switched off")
        << QStringLiteral("maint.crypto.debug=true;maint.crypto.debug=false") << false << false;
}

void TestQuietConsole::sessionConsoleShowsSecretsOnlyWhenNamed()
{
    QFETCH(QString, rules);
    QFETCH(bool, secretsShown);
    QFETCH(bool, framesShown);

    const ChildRun run = runChild(rules);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    // Both streams really were captured.
    QVERIFY(run.out.contains(STDOUT_MARK));
    QVERIFY(run.err.contains(STDERR_MARK));

    const QByteArray console = run.out + '\n' + run.err;
    const QByteArray hexConsole = hexSearchForm(console);
    for (const Secret &secret : sessionSecrets()) {
        const bool found = console.contains(secret.text) || hexConsole.contains(secret.text);
        const bool expected = secretsShown && secret.traced;
        QVERIFY2(found == expected, qPrintable(QStringLiteral("%1 %2 on the console")
                                                   .arg(QString::fromLatin1(secret.name))
                                                   .arg(found ? "found" : "missing")));
    }
    QCOMPARE(console.contains("GET_WIFI:"), framesShown);
    // The Wi-Fi reply is traced with its password field masked.
    QCOMPARE(console.contains("** ** **"), framesShown);
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
