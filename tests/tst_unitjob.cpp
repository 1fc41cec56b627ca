// The unit job against the module model over a scripted link, on a virtual
// clock: a whole provision, and a failure in each step, which ends the unit
// there and is named in its record.
#include "protocol/frame.h"
#include "provision/unitjob.h"
#include "provision/unitsink.h"
#include "session/sessionlink.h"
#include "simulator/modulemodel.h"
#include "simulator/simfaults.h"
#include "support/scriptedlink.h"
#include "transfer/transferframes.h"

#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

const QString PASSWORD = QStringLiteral("Secret_789x");

// The first bytes of a request frame: address, function, first register.
QByteArray requestPrefix(SessionRequest request)
{
    const SessionRequestSpec &spec = sessionRequestSpec(request);
    return QByteArray("\x01", 1) + char(spec.function) + char(spec.firstRegister >> 8) +
           char(spec.firstRegister & 0xFF);
}

// Which request a row's fault waits for, by the step it belongs to.
QByteArray triggerOf(const QString &step)
{
    if (step == QLatin1String("login"))
        return requestPrefix(SessionRequest::Login);
    if (step == QLatin1String("info"))
        return requestPrefix(SessionRequest::ReadUart);
    if (step == QLatin1String("ssid"))
        return requestPrefix(SessionRequest::WriteSsid);
    if (step == QLatin1String("wifi-password"))
        return requestPrefix(SessionRequest::WriteWifiPassword);
    if (step == QLatin1String("wifi-mac"))
        return requestPrefix(SessionRequest::WriteWifiMac);
    if (step == QLatin1String("fe-mac"))
        return requestPrefix(SessionRequest::WriteFeMac);
    if (step == QLatin1String("pull-log"))
        return buildLogRequest().left(4);
    return buildStartLoadingRequest("f", 1, QByteArray(64, '0')).left(4);
}

// What a sink was told, in order.
struct Recorder : UnitSink {
    QStringList steps;
    QJsonObject record;
    void stepDone(const QString &, const QString &step) override { steps.append(step); }
    void unitEnded(const PortOutcome &, const QJsonObject &unitRecord) override
    {
        record = unitRecord;
    }
};

} // namespace

class TestUnitJob : public QObject
{
    Q_OBJECT

private slots:
    void provision_data();
    void provision();
};

void TestUnitJob::provision_data()
{
    QTest::addColumn<QString>("failIn"); // the step whose request gets the fault
    QTest::addColumn<QString>("fault");  // as module-sim takes it
    QTest::addColumn<QString>("error");  // the record's error key, empty: passed
    QTest::addColumn<QStringList>("steps");

    const QStringList all{"login",  "info",   "ssid",     "wifi-password", "wifi-mac",
                          "fe-mac", "verify", "pull-log", "upgrade",       "logout"};
    auto upTo = [&all](int count) {
        return QStringList(all.mid(0, count)) << QStringLiteral("logout");
    };
    QTest::newRow("whole unit") << ""
                                << ""
                                << "" << all;
    QTest::newRow("login refused") << "login"
                                   << "error:0x12"
                                   << "login-refused" << QStringList();
    QTest::newRow("read times out") << "info"
                                    << "drop-next"
                                    << "timeout" << upTo(1);
    QTest::newRow("SSID refused") << "ssid"
                                  << "error:0x04"
                                  << "module-error" << upTo(2);
    QTest::newRow("Wi-Fi password spoiled") << "wifi-password"
                                            << "corrupt-crc:1"
                                            << "checksum" << upTo(3);
    QTest::newRow("Wi-Fi MAC refused") << "wifi-mac"
                                       << "error:0x03"
                                       << "module-error" << upTo(4);
    QTest::newRow("FE MAC unanswered") << "fe-mac"
                                       << "drop-next"
                                       << "timeout" << upTo(5);
    QTest::newRow("log refused") << "pull-log"
                                 << "error:0x04"
                                 << "module-error" << upTo(7);
    QTest::newRow("upgrade refused") << "upgrade"
                                     << "error:0x04"
                                     << "module-error" << upTo(8);
}

void TestUnitJob::provision()
{
    QFETCH(QString, failIn);
    QFETCH(QString, fault);
    QFETCH(QString, error);
    QFETCH(QStringList, steps);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile image(dir.filePath(QStringLiteral("fw.bin")));
    QVERIFY(image.open(QIODevice::WriteOnly));
    image.write(QByteArray(5000, 'F'));
    image.close();

    ModuleConfig config;
    config.loginPassword = PASSWORD;
    ModuleModel model(config);
    ScriptedLink link;
    model.setClock([&link] { return link.nowMs; });
    QList<QByteArray> answer;
    QObject::connect(&model, &ModuleModel::output,
                     [&answer](const QByteArray &bytes) { answer.append(bytes); });
    const QByteArray trigger = failIn.isEmpty() ? QByteArray() : triggerOf(failIn);
    bool faulted = false;
    link.respond = [&](const QByteArray &written) -> ScriptedLink::Reply {
        if (!faulted && !trigger.isEmpty() && written.startsWith(trigger)) {
            QString problem;
            faulted = applyFault(fault, &model, nullptr, &problem);
        }
        answer.clear();
        model.feed(written);
        ScriptedLink::Reply reply;
        for (const QByteArray &bytes : qAsConst(answer))
            reply.append({1 + (written.size() + bytes.size()) / 23, bytes});
        return reply;
    };

    UnitPlan plan;
    plan.mode = UnitPlan::Mode::Provision;
    plan.account = QStringLiteral("admin");
    plan.password = PASSWORD;
    plan.ssid = QStringLiteral("line-4");
    plan.wifiPassword = QStringLiteral("Wifi_Line4_pass");
    plan.wifiMac = QStringLiteral("02:11:22:33:44:55");
    plan.feMac = QStringLiteral("02:11:22:33:44:56");
    plan.verify = true;
    plan.logDir = dir.path();
    plan.firmware = std::make_shared<FirmwareImage>(FirmwareImage::load(image.fileName()));
    QVERIFY(plan.firmware->isUsable());

    Recorder sink;
    CancelFlag cancel;
    const PortOutcome outcome =
        runUnitJobOver(&link, plan, QStringLiteral("pty-A"), &sink, &cancel);

    QCOMPARE(faulted, !failIn.isEmpty());
    QCOMPARE(failureKey(outcome.failure), error);
    QCOMPARE(sink.steps, steps);
    QCOMPARE(sink.record.value(QStringLiteral("steps")).toArray().toVariantList(),
             QVariant(steps).toList());
    QCOMPARE(sink.record.value(QStringLiteral("ok")).toBool(), error.isEmpty());
    QCOMPARE(sink.record.value(QStringLiteral("error")).toString(), error);
    QCOMPARE(sink.record.value(QStringLiteral("failedStep")).toString(), failIn);
    if (error.isEmpty()) {
        QCOMPARE(outcome.data.value(QStringLiteral("wifiMac")).toString(), plan.wifiMac);
        QCOMPARE(sink.record.value(QStringLiteral("logDigestOk")).toBool(), true);
        QCOMPARE(sink.record.value(QStringLiteral("firmwareSha256")).toString(),
                 QString::fromLatin1(plan.firmware->sha256.toHex()));
    } else {
        QVERIFY(!sink.record.value(QStringLiteral("message")).toString().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestUnitJob)
#include "tst_unitjob.moc"
