// The station page end to end: three slots on simulated modules, started by
// themselves, one unit failing in its upgrade; the records and the tiles.

#include "macpool/macpool.h"
#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"
#include "simulator/simfaults.h"
#include "ui/station/slottile.h"
#include "ui/station/stationboard.h"
#include "ui/station/stationpage.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace
{

constexpr int UNITS_LIMIT_MS = 90000;
const QString PASSWORD = QStringLiteral("Line_pass_42");

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QHash<QString, QJsonObject> recordsBySlot(const QString &path)
{
    QFile file(path);
    QHash<QString, QJsonObject> records;
    if (!file.open(QIODevice::ReadOnly))
        return records;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        if (!record.isEmpty())
            records.insert(record.value("slot").toString(), record);
    }
    return records;
}

struct Module {
    Module() : model(config()), link(&model) {}
    static ModuleConfig config()
    {
        ModuleConfig config;
        config.loginPassword = PASSWORD;
        return config;
    }
    ModuleModel model;
    PtyLink link;
};

} // namespace

class TstStationPage : public QObject
{
    Q_OBJECT

private slots:
    void threeSlotsOneFailing();
};

void TstStationPage::threeSlotsOneFailing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    std::vector<std::unique_ptr<Module>> modules(3);
    for (auto &module : modules) {
        module = std::make_unique<Module>();
        module->model.setWifiPassword(QStringLiteral("Old_wifi_17"));
        QVERIFY(module->link.isOpen());
    }
    QString problem;
    QVERIFY2(applyFault("nak-block:3", &modules[1]->model, &modules[1]->link, &problem),
             qPrintable(problem));
    const QString pool = "sqlite:" + dir.filePath("pool.db");
    {
        MacPool macs(pool, QString(), MissingPoolFile::Create);
        QVERIFY2(macs.createTables(problem) &&
                     macs.generate({0x907EBA74B700ULL, 10, 1}, {}, problem),
                 qPrintable(problem));
    }
    QVERIFY(writeFile(dir.filePath("fw.bin"), QByteArray(9000, 'f')));
    QVERIFY(writeFile(dir.filePath("admin.pw"), PASSWORD.toUtf8()));
    QVERIFY(writeFile(dir.filePath("recipe.json"),
                      R"({"firmware": "fw.bin", "ssid": "line-4", "macs": ["wifi", "fe"]})"));
    QVERIFY(
        writeFile(dir.filePath("station.json"),
                  QStringLiteral(R"({"station": "st2", "operator": "wang", "recipe": "recipe.json",
                         "pool": "sqlite:pool.db", "report": "units.jsonl", "passwordFile": "admin.pw",
                         "newWifiPasswordFile": "admin.pw", "autoStart": true,
                         "slots": [{"name": "A1", "port": "%1"}, {"name": "A2", "port": "%2"},
                                   {"name": "A3", "port": "%3"}]})")
                      .arg(modules[0]->link.slavePath(), modules[1]->link.slavePath(),
                           modules[2]->link.slavePath())
                      .toUtf8()));

    auto page = std::make_unique<StationPage>();
    page->setPollMs(200);
    QVERIFY2(page->openStation(dir.filePath("station.json"), &problem), qPrintable(problem));
    page->resize(1000, 700);
    page->show();
    const StationBoard *board = page->board();
    QTRY_COMPARE_WITH_TIMEOUT(board->passed() + board->failed(), 3, UNITS_LIMIT_MS);
    QCOMPARE(board->passed(), 2);

    const QHash<QString, QJsonObject> records = recordsBySlot(dir.filePath("units.jsonl"));
    QCOMPARE(records.size(), 3);
    const QStringList colours{"green", "red", "green"};
    for (int i = 0; i < 3; ++i) {
        const QString slot = QStringLiteral("A%1").arg(i + 1);
        const QJsonObject record = records.value(slot);
        QCOMPARE(record.value("port").toString(), modules[i]->link.slavePath());
        QCOMPARE(record.value("station").toString(), QStringLiteral("st2"));
        QCOMPARE(record.value("ok").toBool(), i != 1);
        QCOMPARE(record.value("failedStep").toString(), i == 1 ? "upgrade" : QString());
        SlotTile *tile = page->tiles().at(i);
        QCOMPARE(tile->colour(), colours[i]);
        QVERIFY2(tile->stateText().startsWith(i == 1 ? "失败" : "通过"),
                 qPrintable(tile->stateText()));
        if (i != 1) {
            QCOMPARE(board->view(i).wifiMac, record.value("wifiMac").toString());
            QVERIFY(!board->view(i).wifiMac.isEmpty());
        }
    }
    // The verdict is held while the modules stay; the failing slot's messages show on a click.
    QTest::mouseClick(page->tiles().at(1), Qt::LeftButton);
    QVERIFY2(page->messagesText().contains("失败"), qPrintable(page->messagesText()));
    QCOMPARE(page->tiles().at(0)->colour(), QStringLiteral("green"));
    page.reset(); // stops every slot and waits for their threads
}

QTEST_MAIN(TstStationPage)
#include "tst_stationpage.moc"
