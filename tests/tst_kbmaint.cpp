// kbmaint as a program: several simulated modules on pseudo-terminals,
// served by this test's event loop while kbmaint runs as a process.

#include "macpool/macpool.h"
#include "macpool/unitrecords.h"
#include "protocol/frame.h"
#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"
#include "simulator/simfaults.h"
#include "support/testpgserver.h"
#include "support/testpty.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace
{

constexpr int RUN_LIMIT_MS = 120000;
const QString LOGIN_PASSWORD = QStringLiteral("Line_pass_42");
const QString WIFI_PASSWORD = QStringLiteral("Wifi_pass_42");

struct Module {
    explicit Module(const ModuleConfig &config) : model(config), link(&model)
    {
        model.setWifiPassword(QStringLiteral("Old_wifi_17"));
    }
    ModuleModel model;
    PtyLink link;
};

ModuleConfig moduleConfig(int logSize, const QString &password = LOGIN_PASSWORD)
{
    ModuleConfig config;
    config.loginPassword = password;
    config.logSize = logSize;
    return config;
}

QByteArray patterned(int size, int seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + seed * 13 + i / 251) & 0xFF);
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<QJsonObject> jsonLines(const QByteArray &text)
{
    QList<QJsonObject> lines;
    for (const QByteArray &line : text.split('\n')) {
        if (!line.isEmpty())
            lines.append(QJsonDocument::fromJson(line).object());
    }
    return lines;
}

// kbmaint with `arguments`, run while this thread's event loop serves the
// simulated modules; the exit status, or -1 when it did not end in time.
int runKbmaint(const QStringList &arguments, QByteArray *out)
{
    QProcess process;
    QSignalSpy finished(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    process.start(QStringLiteral(KBMAINT_BINARY), arguments);
    if (!finished.wait(RUN_LIMIT_MS)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    *out = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

class TstKbmaint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QProcess::ExitStatus>();
        // Records that find no database spool into the test's folder, not the user's.
        QVERIFY(dataHome.isValid());
        qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    }
    void init();
    void provisionsThreeModulesOneFaulty();
    void exitStatus_data();
    void exitStatus();
    void interruptStopsTheUpgrade();
    void killedAfterTheMacWrite();
    void rerunClaimsNothing();
    void lostPortEndsItsJobAlone();
    void poolServerStopsDuringTheWrite();
    void stationSlotsCarryTheirNames();

private:
    QString path(const QString &name) const { return dir->filePath(name); }
    QString sqlite(const QString &name) const { return QStringLiteral("sqlite:") + path(name); }
    QStringList loginArguments() const
    {
        return {QStringLiteral("--json"), QStringLiteral("--password-file"), path("login.pw")};
    }

    QStringList fromPool(const QString &port) const
    {
        return loginArguments() + QStringList{"--port",          port,         "write-mac",
                                              "--from-pool",     "--operator", "li",
                                              "--claim-seconds", "1",          "--pool",
                                              sqlite("pool.db")};
    }
    void makePool(int count)
    {
        QString error;
        MacPool pool(sqlite("pool.db"), QString(), MissingPoolFile::Create);
        QVERIFY2(pool.createTables(error) &&
                     pool.generate({0x907EBA000000ULL, count, 1}, QString(), error),
                 qPrintable(error));
    }

    std::unique_ptr<QTemporaryDir> dir;
    QTemporaryDir dataHome;
};

void TstKbmaint::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    QVERIFY(writeFile(path("login.pw"), LOGIN_PASSWORD.toUtf8() + '\n'));
    QVERIFY(writeFile(path("wifi.pw"), WIFI_PASSWORD.toUtf8() + "\r\n"));
    QVERIFY(QDir(dir->path()).mkdir("logs"));
}

void TstKbmaint::provisionsThreeModulesOneFaulty()
{
    std::vector<std::unique_ptr<Module>> modules;
    for (int i = 0; i < 3; ++i) {
        modules.push_back(std::make_unique<Module>(moduleConfig(3000 + 1500 * i)));
        QVERIFY(modules.back()->link.isOpen());
    }
    QString problem;
    QVERIFY2(
        applyFault(QStringLiteral("nak-block:3"), &modules[1]->model, &modules[1]->link, &problem),
        qPrintable(problem));
    const QByteArray firmware = patterned(9000, 1);
    QVERIFY(writeFile(path("fw.bin"), firmware));
    QVERIFY(writeFile(path("recipe.json"),
                      R"({"firmware": "fw.bin", "ssid": "line-4", "wifiPasswordFile": "wifi.pw",
                          "macs": ["wifi", "fe"], "operator": "wang", "pullLog": "logs",
                          "verify": true})"));
    const QString poolUrl = QStringLiteral("sqlite:") + path("pool.db");
    {
        MacPool pool(poolUrl, QString(), MissingPoolFile::Create);
        QString error;
        MacRange range{0x907EBA74B700ULL, 10, 1};
        QVERIFY2(pool.createTables(error) && pool.generate(range, QString(), error),
                 qPrintable(error));
    }

    QStringList arguments = loginArguments();
    for (const auto &module : modules)
        arguments << QStringLiteral("--port") << module->link.slavePath();
    arguments << QStringLiteral("provision") << path("recipe.json") << QStringLiteral("--report")
              << path("report.jsonl") << QStringLiteral("--pool") << poolUrl;
    QByteArray out;
    QCOMPARE(runKbmaint(arguments, &out), 1);
    // Lines of the three port threads never mix within a line.
    for (const QByteArray &line : out.split('\n')) {
        if (!line.isEmpty())
            QVERIFY2(QJsonDocument::fromJson(line).object().contains("event"), line.constData());
    }
    QCOMPARE(out.count("\"event\":\"result\""), 3);

    const QList<QJsonObject> records = jsonLines(readFile(path("report.jsonl")));
    QCOMPARE(records.size(), 3);
    // The same units in the pool's database, each under a key of its own.
    QSet<QString> reported, inDatabase, keys;
    for (const QJsonObject &record : records)
        reported << record.value("port").toString() + record.value("wifiMac").toString();
    QString storeError;
    for (const UnitRecordRow &row : UnitRecordStore(poolUrl).select({}, storeError)) {
        inDatabase << row.port + row.wifiMac;
        keys << row.unitId;
    }
    QCOMPARE(inDatabase, reported);
    QCOMPARE(keys.size(), 3);
    const QString sha256 =
        QString::fromLatin1(QCryptographicHash::hash(firmware, QCryptographicHash::Sha256).toHex());
    MacPool pool(poolUrl);
    QString error;
    const QList<MacRow> rows = pool.page(1, MacFilter(), error);
    QSet<QString> macs;
    for (size_t i = 0; i < modules.size(); ++i) {
        const ModuleModel &model = modules[i]->model;
        const QString port = modules[i]->link.slavePath();
        const auto record = std::find_if(records.begin(), records.end(), [&](const auto &r) {
            return r.value("port").toString() == port;
        });
        QVERIFY2(record != records.end(), qPrintable(port));
        const bool faulty = i == 1;
        QCOMPARE(record->value("ok").toBool(), !faulty);
        QCOMPARE(record->value("error").toString(),
                 faulty ? QStringLiteral("module-error") : QString());
        QCOMPARE(model.upgradeVerified(), !faulty);
        if (!faulty)
            QCOMPARE(model.uploadedImage(), firmware);
        QCOMPARE(readFile(record->value("logFile").toString()), model.logContent());
        QVERIFY(record->value("logDigestOk").toBool());
        QCOMPARE(record->value("firmwareSha256").toString(), sha256);
        QCOMPARE(record->value("account").toString(), QStringLiteral("admin"));
        QVERIFY(!record->value("station").toString().isEmpty());
        QVERIFY(QDateTime::fromString(record->value("time").toString(), Qt::ISODate).isValid());
        QCOMPARE(record->value("before").toObject().value("software").toInt(), 125);
        QVERIFY(record->value("seconds").toDouble() > 0);
        QCOMPARE(record->value("steps").toVariant().toStringList().contains("upgrade"), !faulty);
        QCOMPARE(model.ssid(), QStringLiteral("line-4"));
        QCOMPARE(model.wifiPassword(), WIFI_PASSWORD);
        // Written, confirmed in the pool, and distinct across the modules.
        for (const auto &[key, written] :
             {std::pair{"wifiMac", model.wifiMac()}, std::pair{"feMac", model.feMac()}}) {
            const QString mac = record->value(key).toString();
            QCOMPARE(QByteArray::fromHex(mac.toLatin1().replace(':', "")), written);
            QVERIFY2(!macs.contains(mac), qPrintable(mac));
            macs.insert(mac);
            const auto row = std::find_if(rows.begin(), rows.end(),
                                          [&](const MacRow &r) { return r.MacAddr == mac; });
            QVERIFY(row != rows.end());
            QCOMPARE(row->IsUsed, 1);
            QCOMPARE(row->Operator, QStringLiteral("wang"));
        }
    }
    QCOMPARE(pool.stats(error).used, 6);
}

// A station's slots instead of ports: a link and a path to two modules, a
// third slot without its port waits; the report comes from an option.
void TstKbmaint::stationSlotsCarryTheirNames()
{
    std::vector<std::unique_ptr<Module>> modules;
    for (int i = 0; i < 2; ++i)
        modules.push_back(std::make_unique<Module>(moduleConfig(2000)));
    QVERIFY(QFile::link(modules[0]->link.slavePath(), path("by-path-0")));
    QVERIFY(writeFile(path("recipe.json"), R"({"ssid": "line-4", "wifiPasswordFile": "wifi.pw"})"));
    QVERIFY(writeFile(path("station.json"),
                      QStringLiteral(R"({"station": "st2", "recipe": "recipe.json",
                         "passwordFile": "login.pw", "report": "ignored.jsonl",
                         "slots": [{"name": "A1", "port": "by-path-0"}, {"name": "A2", "port": "%1"},
                                   {"name": "A3", "port": "absent-port"}]})")
                          .arg(modules[1]->link.slavePath())
                          .toUtf8()));
    QByteArray out;
    QCOMPARE(runKbmaint({"--json", "--station", path("station.json"), "provision", "--report",
                         path("units.jsonl")},
                        &out),
             0);
    QHash<QString, QString> portOfSlot;
    for (const QJsonObject &line : jsonLines(out)) {
        if (line.contains("port"))
            QCOMPARE(
                line.value("slot").toString(),
                portOfSlot.value(line.value("port").toString(), line.value("slot").toString()));
        portOfSlot.insert(line.value("port").toString(), line.value("slot").toString());
    }
    QCOMPARE(portOfSlot.value(modules[0]->link.slavePath()), QStringLiteral("A1"));
    QCOMPARE(portOfSlot.value(modules[1]->link.slavePath()), QStringLiteral("A2"));
    QVERIFY(out.contains(R"("phase":"waiting-port","slot":"A3")"));
    const QList<QJsonObject> records = jsonLines(readFile(path("units.jsonl")));
    QCOMPARE(records.size(), 2);
    for (const QJsonObject &record : records) {
        QCOMPARE(record.value("station").toString(), QStringLiteral("st2"));
        QCOMPARE(record.value("slot").toString(),
                 portOfSlot.value(record.value("port").toString()));
    }
    QVERIFY(!QFile::exists(path("ignored.jsonl")));
}

void TstKbmaint::exitStatus_data()
{
    QTest::addColumn<QStringList>("command");
    // "sim", "factory" (factory login password), "wrong" (another login
    // password), "silent" (a pty nobody answers on) or "none" (no such port)
    QTest::addColumn<QString>("moduleKind");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");

    const QStringList mac{"write-mac", "--wifi", "00:1A:2B:3C:4D"};
    QTest::newRow("missing firmware")
        << QStringList{"upgrade", "@/none.bin"} << "sim" << 2 << "refused-input";
    QTest::newRow("empty firmware")
        << QStringList{"upgrade", "@/empty.bin"} << "sim" << 2 << "refused-input";
    QTest::newRow("firmware name over 64 bytes")
        << QStringList{"upgrade", "@/" + QString(65, 'f')} << "sim" << 2 << "refused-input";
    QTest::newRow("SSID over 32 bytes")
        << QStringList{"set-ssid", QString(33, 's')} << "sim" << 2 << "refused-input";
    QTest::newRow("MAC of five bytes") << mac << "sim" << 2 << "refused-input";
    QTest::newRow("unknown recipe key")
        << QStringList{"provision", "@/colour.json"} << "sim" << 2 << "refused-input";
    QTest::newRow("log directory missing")
        << QStringList{"pull-log", "@/nowhere"} << "sim" << 2 << "refused-input";
    QTest::newRow("weak new login password")
        << QStringList{"set-login-password", "@/weak.pw"} << "sim" << 2 << "refused-input";
    QTest::newRow("no such port") << QStringList{"info"} << "none" << 3 << "no-port";
    QTest::newRow("module never answers") << QStringList{"info"} << "silent" << 3 << "timeout";
    QTest::newRow("factory login password without the option")
        << QStringList{"info"} << "factory" << 4 << "forced-password-change";
    QTest::newRow("report not writable")
        << QStringList{"provision", "@/ssid.json", "--report", "@/nowhere/r.jsonl"} << "sim" << 2
        << "refused-input";
    QTest::newRow("wrong login password") << QStringList{"info"} << "wrong" << 4 << "login-refused";
    QTest::newRow("info on a good module") << QStringList{"info"} << "sim" << 0 << "";
    // No group, broadcast or zero address; a pool checked before any port.
    QTest::newRow("group MAC") << QStringList{"write-mac", "--wifi", "01:00:5E:00:00:01"} << "sim"
                               << 2 << "refused-input";
    QTest::newRow("broadcast MAC")
        << QStringList{"write-mac", "--wifi", "FF:FF:FF:FF:FF:FF"} << "sim" << 2 << "refused-input";
    QTest::newRow("zero MAC") << QStringList{"write-mac", "--fe", "00:00:00:00:00:00"} << "sim" << 2
                              << "refused-input";
    const QStringList fromPool{"write-mac", "--from-pool", "--operator", "li", "--pool"};
    QTest::newRow("password in the pool URL")
        << fromPool + QStringList{"postgresql://li:secret@db/pool"} << "sim" << 2
        << "refused-input";
    QTest::newRow("from the pool without an operator")
        << QStringList{"write-mac", "--from-pool", "--pool", "sqlite:@/pool.db"} << "sim" << 2
        << "refused-input";
    QTest::newRow("missing SQLite pool")
        << fromPool + QStringList{"sqlite:@/missing.db"} << "sim" << 5 << "pool-unavailable";
    QTest::newRow("pool without free addresses")
        << fromPool + QStringList{"sqlite:@/empty.db"} << "sim" << 5 << "pool-empty";
    QTest::newRow("pool stats on a missing file")
        << QStringList{"pool", "stats", "--pool", "sqlite:@/missing.db"} << "none" << 5
        << "pool-unavailable";
    QTest::newRow("overlapping generation")
        << QStringList{"pool", "generate", "90:7E:BA:00:00:01", "2", "--pool", "sqlite:@/pool.db"}
        << "none" << 2 << "refused-input";
    QTest::newRow("generation reaching a group address")
        << QStringList{"pool", "generate", "00:FF:FF:FF:FF:FF", "2", "--head-length",
                       "0",    "--pool",   "sqlite:@/new.db"}
        << "none" << 2 << "refused-input";
    // Input that could never be sent as meant, refused before the port opens.
    QTest::newRow("SSID with a zero byte")
        << QStringList{"provision", "@/nul.json"} << "sim" << 2 << "refused-input";
    QTest::newRow("SSID with a lone surrogate")
        << QStringList{"provision", "@/surrogate.json"} << "sim" << 2 << "refused-input";
    QTest::newRow("password file that is a device")
        << QStringList{"provision", "@/zero.json"} << "sim" << 2 << "refused-input";
    QTest::newRow("recipe that is a device")
        << QStringList{"provision", "/dev/zero"} << "sim" << 2 << "refused-input";
    QTest::newRow("firmware that is a folder")
        << QStringList{"upgrade", "@/logs"} << "sim" << 2 << "refused-input";
    QTest::newRow("one port given twice")
        << QStringList{"--port", "%PORT%", "info"} << "sim" << 2 << "refused-input";
}

void TstKbmaint::exitStatus()
{
    QFETCH(QStringList, command);
    QFETCH(QString, moduleKind);
    QFETCH(int, status);
    QFETCH(QString, error);
    QVERIFY(writeFile(path("empty.bin"), QByteArray()));
    QVERIFY(writeFile(path(QString(65, 'f')), "x"));
    QVERIFY(writeFile(path("colour.json"), R"({"ssid": "a", "colour": "red"})"));
    QVERIFY(writeFile(path("weak.pw"), "abcdefgh\n"));
    QVERIFY(writeFile(path("ssid.json"), R"({"ssid": "a"})"));
    QVERIFY(writeFile(path("nul.json"), R"({"ssid": "ab\u0000cd"})"));
    QVERIFY(writeFile(path("surrogate.json"), R"({"ssid": "ab\ud800"})"));
    QVERIFY(writeFile(path("zero.json"), R"({"wifiPasswordFile": "/dev/zero"})"));
    QString poolError;
    MacPool(sqlite("empty.db"), QString(), MissingPoolFile::Create).createTables(poolError);
    MacPool(sqlite("pool.db"), QString(), MissingPoolFile::Create).createTables(poolError);
    QVERIFY2(MacPool(sqlite("pool.db")).generate({0x907EBA000000ULL, 2, 1}, QString(), poolError),
             qPrintable(poolError));

    std::unique_ptr<Module> module;
    TestPty silent;
    QString port = path("ttyNone");
    if (moduleKind != QLatin1String("silent") && moduleKind != QLatin1String("none")) {
        module = std::make_unique<Module>(moduleConfig(100, moduleKind == QLatin1String("factory")
                                                                ? QString("Initpass_456")
                                                                : LOGIN_PASSWORD));
        QVERIFY(writeFile(path("login.pw"), moduleKind == QLatin1String("wrong")
                                                ? QByteArray("Other_pass_1")
                                                : module->model.config().loginPassword.toUtf8()));
        port = module->link.slavePath();
    } else if (moduleKind == QLatin1String("silent")) {
        QVERIFY(silent.isValid());
        port = silent.slavePath();
    }
    for (QString &word : command)
        word.replace(QLatin1String("@"), dir->path()).replace(QLatin1String("%PORT%"), port);
    QByteArray out;
    QCOMPARE(runKbmaint(loginArguments() + QStringList{"--port", port} + command, &out), status);
    const QList<QJsonObject> lines = jsonLines(out);
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.last().value("event").toString(), QStringLiteral("result"));
    QCOMPARE(lines.last().value("error").toString(), error);
    if ((status == 2 || status == 5) && module)
        QVERIFY(module->model.receivedFrames().isEmpty());
    QVERIFY(!QFile::exists(path("missing.db")));
    QCOMPARE(MacPool(sqlite("pool.db")).stats(poolError).total, 2); // nothing stored
}

void TstKbmaint::interruptStopsTheUpgrade()
{
    Module module(moduleConfig(100));
    module.link.setLineRate(230400);
    QVERIFY(writeFile(path("fw.bin"), patterned(400000, 2)));
    QProcess process;
    QByteArray out;
    connect(&process, &QProcess::readyReadStandardOutput,
            [&] { out += process.readAllStandardOutput(); });
    QSignalSpy finished(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    process.start(QStringLiteral(KBMAINT_BINARY),
                  loginArguments() +
                      QStringList{"--port", module.link.slavePath(), "upgrade", path("fw.bin")});
    QElapsedTimer running;
    running.start();
    QTRY_VERIFY_WITH_TIMEOUT(out.count("\"progress\"") >= 3, 30000);
    const qint64 pid = process.processId();
    QCOMPARE(::kill(pid_t(pid), SIGINT), 0);
    QVERIFY(finished.wait(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 130);
    // At most four progress lines a second.
    QVERIFY(out.count("\"progress\"") <= 4 * running.elapsed() / 1000 + 1);
    QVERIFY(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)));
    QVERIFY(jsonLines(out).last().value("error").toString() == QLatin1String("cancelled"));
    const QList<QByteArray> &frames = module.model.receivedFrames();
    const int can = frames.indexOf(QByteArray(1, Transfer::CAN));
    QVERIFY(can >= 0);
    QVERIFY(frames.indexOf(buildLogoutRequest(), can) > can);
    QVERIFY(!module.model.upgradeVerified());
}

namespace
{

QString colonText(const QByteArray &bytes)
{
    QString hex = QString::fromLatin1(bytes.toHex().toUpper());
    for (int i = hex.size() - 2; i > 0; i -= 2)
        hex.insert(i, QLatin1Char(':'));
    return hex;
}

} // namespace

// Killed after the module took the Wi-Fi address and before the pool heard
// of it: once the reservation has run out, the address goes to no other
// module, and the next run on the first module keeps it.
void TstKbmaint::killedAfterTheMacWrite()
{
    makePool(6);
    Module first(moduleConfig(100));
    Module second(moduleConfig(100));
    QString problem;
    QVERIFY(
        applyFault(QStringLiteral("mac-write-delay:5000"), &first.model, &first.link, &problem));
    const QByteArray factoryMac = first.model.wifiMac();
    QProcess process;
    process.start(QStringLiteral(KBMAINT_BINARY), fromPool(first.link.slavePath()));
    QTRY_VERIFY_WITH_TIMEOUT(first.model.wifiMac() != factoryMac, 30000);
    process.kill();
    QVERIFY(process.waitForFinished(10000));
    const QString held = colonText(first.model.wifiMac());
    QString error;
    QTRY_COMPARE_WITH_TIMEOUT(MacPool(sqlite("pool.db")).stateOf(held, error), MacState::Unknown,
                              10000);

    QByteArray out;
    QCOMPARE(runKbmaint(fromPool(second.link.slavePath()), &out), 0);
    QVERIFY(colonText(second.model.wifiMac()) != held);
    QVERIFY(colonText(second.model.feMac()) != held);

    first.model.delayMacWriteReplies(0);
    QCOMPARE(runKbmaint(fromPool(first.link.slavePath()), &out), 0);
    const QJsonObject result = jsonLines(out).last();
    QCOMPARE(result.value("wifiMac").toString(), held);
    QCOMPARE(result.value("macsKept").toVariant().toStringList(), QStringList{"wifi"});
    QCOMPARE(colonText(first.model.wifiMac()), held);
    QCOMPARE(MacPool(sqlite("pool.db")).stateOf(held, error), MacState::Used);
}

// A second run of the same command on a unit it provisioned claims nothing
// and writes no MAC address.
void TstKbmaint::rerunClaimsNothing()
{
    makePool(6);
    Module module(moduleConfig(100));
    QByteArray out;
    QCOMPARE(runKbmaint(fromPool(module.link.slavePath()), &out), 0);
    const QByteArray wifi = module.model.wifiMac(), fe = module.model.feMac();
    QString error;
    QCOMPARE(MacPool(sqlite("pool.db")).stats(error).used, 2);
    const int framesBefore = module.model.receivedFrames().size();
    QCOMPARE(runKbmaint(fromPool(module.link.slavePath()), &out), 0);
    QCOMPARE(jsonLines(out).last().value("macsKept").toVariant().toStringList(),
             (QStringList{"wifi", "fe"}));
    QCOMPARE(MacPool(sqlite("pool.db")).stats(error).used, 2);
    QCOMPARE(module.model.wifiMac(), wifi);
    QCOMPARE(module.model.feMac(), fe);
    const QList<QByteArray> frames = module.model.receivedFrames().mid(framesBefore);
    for (SessionRequest write : {SessionRequest::WriteWifiMac, SessionRequest::WriteFeMac}) {
        const quint16 first = sessionRequestSpec(write).firstRegister;
        for (const QByteArray &frame : frames)
            QVERIFY(frame.size() < 4 ||
                    quint16((quint8(frame[2]) << 8) | quint8(frame[3])) != first ||
                    quint8(frame[1]) != 0x10);
    }
}

// A port that goes away mid-upgrade ends its job at once, without spinning;
// the other port finishes.
void TstKbmaint::lostPortEndsItsJobAlone()
{
    auto lost = std::make_unique<Module>(moduleConfig(100));
    Module kept(moduleConfig(100));
    for (Module *module : {lost.get(), &kept})
        module->link.setLineRate(230400);
    QVERIFY(writeFile(path("fw.bin"), patterned(120000, 3)));
    QProcess process;
    QByteArray out;
    connect(&process, &QProcess::readyReadStandardOutput,
            [&] { out += process.readAllStandardOutput(); });
    QSignalSpy finished(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    const QString lostPort = lost->link.slavePath();
    process.start(QStringLiteral(KBMAINT_BINARY),
                  loginArguments() + QStringList{"--port", lostPort, "--port",
                                                 kept.link.slavePath(), "upgrade", path("fw.bin")});
    QTRY_VERIFY_WITH_TIMEOUT(out.count("\"progress\"") >= 4, 30000);
    const QString stat = QStringLiteral("/proc/%1/stat").arg(process.processId());
    auto cpuTicks = [&stat] {
        const QList<QByteArray> fields = readFile(stat).split(' ');
        return fields.size() > 14 ? fields[13].toLongLong() + fields[14].toLongLong() : -1;
    };
    QElapsedTimer sinceLoss;
    lost.reset(); // the pty goes away, as an unplugged adapter
    sinceLoss.start();
    const qint64 ticksAtLoss = cpuTicks();
    auto lostResult = [&] {
        for (const QJsonObject &line : jsonLines(out)) {
            if (line.value("event") == "result" && line.value("port") == lostPort)
                return line;
        }
        return QJsonObject();
    };
    QTRY_VERIFY_WITH_TIMEOUT(!lostResult().isEmpty(), 5000);
    QVERIFY2(sinceLoss.elapsed() < 1500, qPrintable(QString::number(sinceLoss.elapsed())));
    QCOMPARE(lostResult().value("error").toString(), QStringLiteral("port-lost"));
    const qint64 busyTicks = cpuTicks() - ticksAtLoss; // 100 ticks a second
    QVERIFY2(busyTicks * 10 < qMax<qint64>(sinceLoss.elapsed(), 100) / 2,
             qPrintable(QString::number(busyTicks)));
    QVERIFY(finished.wait(RUN_LIMIT_MS));
    QCOMPARE(process.exitCode(), 3);
    QVERIFY(kept.model.upgradeVerified());
}

// The pool's server stops after the module took the address: the result
// names the address the module holds, and after a restart and the
// reservation's end it goes to no other module.
void TstKbmaint::poolServerStopsDuringTheWrite()
{
    TestPgServer server;
    QVERIFY2(server.failure().isEmpty(), qPrintable(server.failure()));
    {
        QString error;
        MacPool pool(server.url());
        QVERIFY2(pool.createTables(error) &&
                     pool.generate({0x907EBA000000ULL, 4, 1}, QString(), error),
                 qPrintable(error));
    }
    Module first(moduleConfig(100));
    Module second(moduleConfig(100));
    first.model.delayMacWriteReplies(450); // inside the write's 500 ms
    const QByteArray factoryMac = first.model.wifiMac();
    QStringList arguments = fromPool(first.link.slavePath());
    arguments.replace(arguments.size() - 1, server.url());
    QProcess process;
    QByteArray out;
    connect(&process, &QProcess::readyReadStandardOutput,
            [&] { out += process.readAllStandardOutput(); });
    QSignalSpy finished(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    MacPool locker(server.url()); // connected before the run, to lock in time
    QSqlQuery lock(QSqlDatabase::database(locker.connectionName()));
    process.start(QStringLiteral(KBMAINT_BINARY), arguments);
    QTRY_VERIFY_WITH_TIMEOUT(first.model.wifiMac() != factoryMac, 30000);
    // The confirm waits behind this lock until the server is gone.
    QVERIFY(lock.exec("BEGIN") &&
            lock.exec("LOCK TABLE mavo_rfid_mac, mavo_rfid_mac_claim IN ACCESS EXCLUSIVE MODE"));
    QVERIFY(server.stop());
    QVERIFY(finished.wait(RUN_LIMIT_MS));
    const QString held = colonText(first.model.wifiMac());
    const QJsonObject result = jsonLines(out).last();
    QCOMPARE(result.value("error").toString(), QStringLiteral("pool-unavailable"));
    QCOMPARE(result.value("wifiMac").toString(), held);

    QVERIFY(server.restart());
    QString error;
    QTRY_COMPARE_WITH_TIMEOUT(MacPool(server.url()).stateOf(held, error), MacState::Unknown, 10000);
    arguments = fromPool(second.link.slavePath());
    arguments.replace(arguments.size() - 1, server.url());
    QCOMPARE(runKbmaint(arguments, &out), 0);
    QVERIFY(colonText(second.model.wifiMac()) != held);
    QVERIFY(colonText(second.model.feMac()) != held);
}

QTEST_GUILESS_MAIN(TstKbmaint)
#include "tst_kbmaint.moc"
