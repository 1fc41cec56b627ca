// The station file's refusals, the slots' resolution to devices, and a slot
// that follows its symbolic link from one unit to the next.

#include "provision/slotresolver.h"
#include "provision/stationfile.h"
#include "provision/stationrunner.h"
#include "provision/unitsink.h"
#include "session/sessionlink.h"
#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"
#include "support/testpty.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include <mutex>

namespace
{

const QString PASSWORD = QStringLiteral("Line_pass_42");

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Keeps the records; called from the slots' threads.
class Records : public StationEvents, public UnitSink
{
public:
    UnitSink *unitSink(int) override { return this; }
    void slotPhase(int, SlotPhase phase, const QString &) override
    {
        std::lock_guard<std::mutex> guard(lock);
        phases.append(phase);
    }
    void forgetPhases()
    {
        std::lock_guard<std::mutex> guard(lock);
        phases.clear();
    }
    bool saw(SlotPhase phase)
    {
        std::lock_guard<std::mutex> guard(lock);
        return phases.contains(phase);
    }
    void unitEnded(const PortOutcome &, const QJsonObject &record) override
    {
        std::lock_guard<std::mutex> guard(lock);
        records.append(record);
    }
    int count()
    {
        std::lock_guard<std::mutex> guard(lock);
        return records.size();
    }
    QJsonObject last()
    {
        std::lock_guard<std::mutex> guard(lock);
        return records.last();
    }

private:
    std::mutex lock;
    QList<QJsonObject> records;
    QList<SlotPhase> phases;
};

} // namespace

class TstStationFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void refusals_data();
    void refusals();
    void resolution_data();
    void resolution();
    void slotFollowsRepointedLink();
    void watchWaitsForTheModuleToGo_data();
    void watchWaitsForTheModuleToGo();

private:
    QString path(const QString &name) const { return dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> dir;
};

void TstStationFile::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    QVERIFY(writeFile(path("recipe.json"), "{}"));
    QVERIFY(writeFile(path("admin.pw"), PASSWORD.toUtf8() + '\n'));
}

void TstStationFile::refusals_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<QString>("problem"); // a part of the refusal; empty: accepted
    const QString one = R"("slots": [{"name": "A1", "port": "tty1"}])";
    const QString base =
        R"({"station": "st2", "recipe": "recipe.json", "passwordFile": "admin.pw", )";
    QTest::newRow("accepted") << base + one + "}" << QString();
    QTest::newRow("not an object") << "[1]"
                                   << "JSON";
    QTest::newRow("unknown key") << base + R"("colour": "red", )" + one + "}"
                                 << "colour";
    QTest::newRow("recipe missing")
        << QString(R"({"station": "s", "recipe": "gone.json", "passwordFile": "admin.pw", )") +
               one + "}"
        << "gone.json";
    QTest::newRow("password file missing")
        << QString(R"({"station": "s", "recipe": "recipe.json", "passwordFile": "no.pw", )") + one +
               "}"
        << "no.pw";
    QTest::newRow("new login password file missing")
        << base + R"("newLoginPasswordFile": "line.pw", )" + one + "}"
        << "line.pw";
    QTest::newRow("no slots key") << base + R"("autoStart": true})"
                                  << "slots";
    QTest::newRow("slots empty") << base + R"("slots": []})"
                                 << "slots";
    QTest::newRow("autoStart not a bool") << base + R"("autoStart": 1, )" + one + "}"
                                          << "autoStart";
    QTest::newRow("slot without name") << base + R"("slots": [{"port": "tty1"}]})"
                                       << "name";
    QTest::newRow("slot with port and serial")
        << base + R"("slots": [{"name": "A1", "port": "tty1", "serial": "X"}]})"
        << "A1";
    QTest::newRow("slot with neither") << base + R"("slots": [{"name": "A1"}]})"
                                       << "A1";
    QTest::newRow("unknown slot key")
        << base + R"("slots": [{"name": "A1", "port": "tty1", "baud": "9600"}]})"
        << "baud";
    QTest::newRow("slot name twice")
        << base + R"("slots": [{"name": "A1", "port": "t1"}, {"name": "A1", "port": "t2"}]})"
        << "A1";
    QTest::newRow("station empty")
        << QString(R"({"station": "", "recipe": "recipe.json", )") + one + "}"
        << "station";
}

void TstStationFile::refusals()
{
    QFETCH(QString, json);
    QFETCH(QString, problem);
    QVERIFY(writeFile(path("station.json"), json.toUtf8()));
    StationFile file;
    QString why;
    const bool ok = StationFileReader::load(path("station.json"), &file, &why);
    QVERIFY2(ok == problem.isEmpty(), qPrintable(why));
    if (ok) {
        QCOMPARE(file.recipe, path("recipe.json"));
        QCOMPARE(file.slotList.value(0).port, path("tty1"));
        return;
    }
    QVERIFY2(why.contains(problem), qPrintable(why));
}

void TstStationFile::resolution_data()
{
    QTest::addColumn<QStringList>("slotSpecs"); // "port:PATH" or "serial:NUMBER", "@" is the dir
    QTest::addColumn<QStringList>("expected");  // "present:DEVICE", "absent", "refused:WORD|WORD"
    QTest::newRow("path and its link are one device")
        << QStringList{"port:@/null-link", "port:/dev/null", "port:/dev/zero"}
        << QStringList{"refused:S0|S1", "refused:S0|S1", "present:/dev/zero"};
    QTest::newRow("serial on two adapters")
        << QStringList{"serial:TWIN", "serial:ONE"}
        << QStringList{"refused:TWIN|/dev/null|/dev/full", "present:/dev/zero"};
    QTest::newRow("absent port and unknown serial waits")
        << QStringList{"port:@/gone", "serial:NONE", "port:@/null-link"}
        << QStringList{"absent", "absent", "present:/dev/null"};
}

void TstStationFile::resolution()
{
    QFETCH(QStringList, slotSpecs);
    QFETCH(QStringList, expected);
    QVERIFY(QFile::link("/dev/null", path("null-link")));
    QVector<StationSlot> slotList;
    for (const QString &spec : slotSpecs) {
        const QString value = spec.section(':', 1).replace('@', dir->path());
        StationSlot slot{QStringLiteral("S%1").arg(slotList.size()), QString(), QString()};
        (spec.startsWith("port:") ? slot.port : slot.serial) = value;
        slotList.append(slot);
    }
    const AdapterSource adapters = [] {
        return QList<AdapterEntry>{
            {"/dev/null", "TWIN"}, {"/dev/full", "TWIN"}, {"/dev/zero", "ONE"}};
    };
    const QVector<SlotResolution> all = SlotResolver::resolveAll(slotList, adapters);
    QCOMPARE(all.size(), expected.size());
    for (int i = 0; i < all.size(); ++i) {
        const QString kind = expected[i].section(':', 0, 0);
        const QString detail = expected[i].section(':', 1);
        if (kind == "present") {
            QCOMPARE(int(all[i].state), int(SlotResolution::State::Present));
            QCOMPARE(all[i].device, detail);
        } else if (kind == "absent") {
            QCOMPARE(int(all[i].state), int(SlotResolution::State::Absent));
        } else {
            QCOMPARE(int(all[i].state), int(SlotResolution::State::Refused));
            for (const QString &word : detail.split('|'))
                QVERIFY2(all[i].problem.contains(word), qPrintable(all[i].problem));
        }
    }
}

// The link is followed at each unit: re-pointed, the next unit runs on the new device.
void TstStationFile::slotFollowsRepointedLink()
{
    ModuleConfig config;
    config.loginPassword = PASSWORD;
    ModuleModel first(config), second(config);
    PtyLink linkA(&first), linkB(&second);
    QVERIFY(linkA.isOpen() && linkB.isOpen());
    first.setWifiPassword(QStringLiteral("Old_wifi_17"));
    second.setWifiPassword(QStringLiteral("Old_wifi_17"));
    const QString link = path("fixture-port");
    UnitPlan plan;
    plan.account = QStringLiteral("admin");
    plan.password = PASSWORD;
    plan.commandName = QStringLiteral("info");
    Records records;
    CancelFlag cancel;
    StationRunner runner({{QStringLiteral("A1"), link, QString()}}, plan, &records, &cancel);
    for (PtyLink *target : {&linkA, &linkB}) {
        QFile::remove(link);
        QVERIFY(QFile::link(target->slavePath(), link));
        const int before = records.count();
        runner.start(false);
        QTRY_COMPARE_WITH_TIMEOUT(records.count(), before + 1, 30000);
        runner.wait();
        QCOMPARE(records.last().value("port").toString(), target->slavePath());
        QCOMPARE(records.last().value("slot").toString(), QStringLiteral("A1"));
        QVERIFY2(records.last().value("ok").toBool(),
                 QJsonDocument(records.last()).toJson().constData());
    }
}

void TstStationFile::watchWaitsForTheModuleToGo_data()
{
    QTest::addColumn<bool>("portStays"); // the module falls silent on a port that stays
    QTest::newRow("port went away") << false;
    QTest::newRow("module stopped answering") << true;
}

// Watching: one unit per module; the next starts once the first module went.
void TstStationFile::watchWaitsForTheModuleToGo()
{
    QFETCH(bool, portStays);
    ModuleConfig config;
    config.loginPassword = PASSWORD;
    ModuleModel first(config), second(config);
    PtyLink linkA(&first), linkB(&second);
    TestPty silent;
    first.setWifiPassword(QStringLiteral("Old_wifi_17"));
    second.setWifiPassword(QStringLiteral("Old_wifi_17"));
    const QString link = path("fixture-port");
    QVERIFY(QFile::link(linkA.slavePath(), link));
    UnitPlan plan;
    plan.password = PASSWORD;
    plan.account = QStringLiteral("admin");
    Records records;
    CancelFlag cancel;
    StationRunner runner({{QStringLiteral("A1"), link, QString()}}, plan, &records, &cancel);
    runner.setTiming({50, 300});
    runner.start(true);
    QTRY_VERIFY_WITH_TIMEOUT(records.saw(SlotPhase::WaitingRemoval), 30000);
    QCOMPARE(records.count(), 1); // the module stays and answers: no second unit
    records.forgetPhases();
    QFile::remove(link);
    if (portStays)
        QVERIFY(QFile::link(silent.slavePath(), link));
    QTRY_VERIFY_WITH_TIMEOUT(
        records.saw(portStays ? SlotPhase::WaitingModule : SlotPhase::WaitingPort), 30000);
    QFile::remove(link);
    QVERIFY(QFile::link(linkB.slavePath(), link));
    QTRY_COMPARE_WITH_TIMEOUT(records.count(), 2, 30000);
    QCOMPARE(records.last().value("port").toString(), linkB.slavePath());
    runner.stop();
    QTRY_VERIFY_WITH_TIMEOUT(records.saw(SlotPhase::Idle), 30000);
    runner.wait();
}

QTEST_GUILESS_MAIN(TstStationFile)
#include "tst_stationfile.moc"
