// module-sim: the module's stand-in on a pseudo-terminal. Prints the slave
// path on its first line, then a summary, then every request and reply.

#include "protocol/frame.h"
#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"
#include "simulator/simfaults.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop through a socket pair, so the
// program leaves by returning from main().
bool installSignalExit(QCoreApplication *app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return false;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, &QCoreApplication::quit);
    struct sigaction action {
    };
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return true;
}

QString traceHex(const QByteArray &bytes)
{
    constexpr int SHOWN = 24;
    QString text = hexUpper(bytes.left(SHOWN));
    if (bytes.size() > SHOWN)
        text += QStringLiteral(" ... (%1 bytes)").arg(bytes.size());
    return text;
}

struct Options {
    ModuleConfig config;
    int baud = 0;
    QStringList faults;
};

bool parseOptions(const QCoreApplication &app, Options *options, QString *problem)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Stand-in for the KB-R5530 module on a pseudo-terminal. The first line of "
                       "output is the\n"
                       "path to open as the serial port (such as /dev/pts/3); every request and "
                       "reply follows.\n"
                       "Ends on Ctrl+C (SIGINT) or SIGTERM.\n\n") +
        faultHelpText());
    parser.addHelpOption();
    const QCommandLineOption version(QStringLiteral("software-version"),
                                     QStringLiteral("Board software version (default 125; up to "
                                                    "124: AES-only credentials, SHA-1 digests)."),
                                     QStringLiteral("N"), QStringLiteral("125"));
    const QCommandLineOption account(QStringLiteral("account"),
                                     QStringLiteral("Login account (default admin)."),
                                     QStringLiteral("TEXT"), QStringLiteral("admin"));
    const QCommandLineOption password(
        QStringLiteral("password"),
        QStringLiteral("Login password (default Initpass_456, the factory password: a login "
                       "with it answers 0x16 and must change it)."),
        QStringLiteral("TEXT"), QStringLiteral("Initpass_456"));
    const QCommandLineOption logFile(QStringLiteral("log-file"),
                                     QStringLiteral("Serve this file as the module's log."),
                                     QStringLiteral("PATH"));
    const QCommandLineOption logSize(QStringLiteral("log-size"),
                                     QStringLiteral("Serve generated log text of this size "
                                                    "(default 5000)."),
                                     QStringLiteral("BYTES"), QStringLiteral("5000"));
    const QCommandLineOption logName(QStringLiteral("log-name"),
                                     QStringLiteral("File name the log is announced with "
                                                    "(default sys.log)."),
                                     QStringLiteral("NAME"), QStringLiteral("sys.log"));
    const QCommandLineOption timeout(QStringLiteral("session-timeout"),
                                     QStringLiteral("Idle time that ends a session (default 300)."),
                                     QStringLiteral("SECONDS"), QStringLiteral("300"));
    const QCommandLineOption baud(QStringLiteral("baud"),
                                  QStringLiteral("Pace both directions at this line rate, 10 bits "
                                                 "per byte (default: no pacing)."),
                                  QStringLiteral("RATE"), QStringLiteral("0"));
    const QCommandLineOption fault(QStringLiteral("fault"),
                                   QStringLiteral("Misbehave as SPEC says (repeatable; the "
                                                  "specifications are listed above)."),
                                   QStringLiteral("SPEC"));
    parser.addOptions(
        {version, account, password, logFile, logSize, logName, timeout, baud, fault});
    parser.process(app);

    bool ok = true;
    options->config.softwareVersion = parser.value(version).toInt(&ok);
    if (!ok)
        return *problem = QStringLiteral("--software-version wants a number"), false;
    options->config.account = parser.value(account);
    options->config.loginPassword = parser.value(password);
    options->config.logFileName = parser.value(logName);
    options->config.sessionTimeoutMs = parser.value(timeout).toInt(&ok) * 1000;
    if (!ok || options->config.sessionTimeoutMs <= 0)
        return *problem = QStringLiteral("--session-timeout wants a positive number"), false;
    options->config.logSize = parser.value(logSize).toInt(&ok);
    if (!ok || options->config.logSize < 0)
        return *problem = QStringLiteral("--log-size wants a number of bytes"), false;
    if (parser.isSet(logFile)) {
        QFile file(parser.value(logFile));
        if (!file.open(QIODevice::ReadOnly))
            return *problem = QStringLiteral("cannot read %1").arg(file.fileName()), false;
        options->config.logContent = file.readAll();
        if (options->config.logContent.isEmpty())
            return *problem = QStringLiteral("%1 is empty").arg(file.fileName()), false;
    }
    options->baud = parser.value(baud).toInt(&ok);
    if (!ok || options->baud < 0)
        return *problem = QStringLiteral("--baud wants a rate such as 230400"), false;
    options->faults = parser.values(fault);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("module-sim"));
    // The library's traces stay off unless the environment asks for them; the
    // simulator's own trace is its standard output.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    QTextStream err(stderr);

    Options options;
    QString problem;
    if (!parseOptions(app, &options, &problem)) {
        err << "module-sim: " << problem << '\n';
        return 2;
    }
    // Standard output carries only the path and the trace: anything else
    // that writes to stdout goes to standard error from here on.
    QFile traceFile;
    if (!traceFile.open(::dup(STDOUT_FILENO), QIODevice::WriteOnly, QFileDevice::AutoCloseHandle) ||
        ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        err << "module-sim: cannot set up standard output\n";
        return 1;
    }
    QTextStream out(&traceFile);

    ModuleModel model(options.config);
    PtyLink link(&model);
    if (!link.isOpen()) {
        err << "module-sim: no pseudo-terminal: " << link.errorString() << '\n';
        return 1;
    }
    link.setLineRate(options.baud);
    for (const QString &spec : options.faults) {
        if (!applyFault(spec, &model, &link, &problem)) {
            err << "module-sim: " << problem << '\n';
            return 2;
        }
    }
    if (!installSignalExit(&app)) {
        err << "module-sim: cannot watch for signals\n";
        return 1;
    }

    out << link.slavePath() << '\n' << Qt::flush;
    out << QStringLiteral("module-sim: software %1, hardware %2, account \"%3\", SSID \"%4\", "
                          "log %5 (%6 bytes), session timeout %7 s, %8, %9 fault(s)\n")
               .arg(options.config.softwareVersion)
               .arg(options.config.hardwareVersion)
               .arg(options.config.account, model.ssid(), options.config.logFileName)
               .arg(model.logContent().size())
               .arg(options.config.sessionTimeoutMs / 1000)
               .arg(options.baud > 0 ? QStringLiteral("paced at %1 baud").arg(options.baud)
                                     : QStringLiteral("no pacing"))
               .arg(options.faults.size())
        << Qt::flush;

    QObject::connect(&model, &ModuleModel::requestTaken,
                     [&out](const QByteArray &unit, const QString &meaning) {
                         out << "<- " << traceHex(unit) << "  " << meaning << '\n' << Qt::flush;
                     });
    QObject::connect(&model, &ModuleModel::replyMade,
                     [&out](const QByteArray &bytes, const QString &meaning) {
                         out << "-> " << traceHex(bytes) << "  " << meaning << '\n' << Qt::flush;
                     });

    const int status = app.exec();
    out << "module-sim: stopped\n" << Qt::flush;
    return status;
}
