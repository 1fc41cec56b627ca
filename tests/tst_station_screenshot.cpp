// The station page in the tool's window at 1280 x 1024 with eight slots in
// every state: three passed, one failed, two running a paced upgrade, one
// without its port, one whose port holds no module. Written to
// screenshots/station_view.png in the working directory.

#include "app/startup.h"
#include "macpool/macpool.h"
#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"
#include "simulator/simfaults.h"
#include "support/screenshots.h"
#include "support/testpty.h"
#include "ui/frame/framelesswidget.h"
#include "ui/station/slottile.h"
#include "ui/station/stationboard.h"
#include "ui/station/stationpage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace
{

const QString PASSWORD = QStringLiteral("Line_pass_42");

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

struct Module {
    Module() : model(config()), link(&model) { model.setWifiPassword("Old_wifi_17"); }
    static ModuleConfig config()
    {
        ModuleConfig config;
        config.loginPassword = PASSWORD;
        return config;
    }
    ModuleModel model;
    PtyLink link;
};

int tilesOf(StationPage *page, const QString &colour)
{
    int count = 0;
    for (SlotTile *tile : page->tiles())
        count += tile->colour() == colour;
    return count;
}

} // namespace

class TstStationScreenshot : public QObject
{
    Q_OBJECT

private slots:
    void eightSlotsInEveryState();
};

void TstStationScreenshot::eightSlotsInEveryState()
{
    QTemporaryDir dir;
    std::vector<std::unique_ptr<Module>> modules(6);
    QStringList slotLines;
    for (size_t i = 0; i < modules.size(); ++i) {
        modules[i] = std::make_unique<Module>();
        slotLines << QStringLiteral(R"({"name": "A%1", "port": "%2"})")
                         .arg(i + 1)
                         .arg(modules[i]->link.slavePath());
    }
    QString problem;
    QVERIFY(applyFault("nak-block:3", &modules[3]->model, &modules[3]->link, &problem));
    modules[4]->link.setLineRate(230400);
    modules[5]->link.setLineRate(230400);
    TestPty silent;
    slotLines << QStringLiteral(
                     R"({"name": "B1", "port": "/dev/serial/by-path/pci-0-usb-0:2.4:1.0-port0"})")
              << QStringLiteral(R"({"name": "B2", "port": "%1"})").arg(silent.slavePath());
    {
        MacPool pool("sqlite:" + dir.filePath("pool.db"), QString(), MissingPoolFile::Create);
        QVERIFY(pool.createTables(problem) &&
                pool.generate({0x907EBA74B700ULL, 40, 1}, {}, problem));
    }
    QVERIFY(writeFile(dir.filePath("fw-1.3.0.bin"), QByteArray(1 << 20, 'f')));
    QVERIFY(writeFile(dir.filePath("admin.pw"), PASSWORD.toUtf8()));
    QVERIFY(writeFile(dir.filePath("line4.json"),
                      R"({"firmware": "fw-1.3.0.bin", "ssid": "line-4", "macs": ["wifi", "fe"]})"));
    QVERIFY(writeFile(dir.filePath("station.json"),
                      QStringLiteral(R"({"station": "line4-st2", "operator": "wang",
                         "recipe": "line4.json", "pool": "sqlite:pool.db", "report": "units.jsonl",
                         "passwordFile": "admin.pw", "autoStart": true, "slots": [%1]})")
                          .arg(slotLines.join(", "))
                          .toUtf8()));

    std::unique_ptr<FramelessWidget> frame(
        createMainFrame(QString(), dir.filePath("station.json")));
    frame->resize(1280, 1024);
    frame->show();
    auto *page = frame->findChild<StationPage *>();
    QTRY_VERIFY_WITH_TIMEOUT(tilesOf(page, "green") == 3 && tilesOf(page, "red") == 1 &&
                                 page->board()->view(4).percent > 0 &&
                                 page->board()->view(5).percent > 0,
                             90000);
    QCOMPARE(tilesOf(page, "blue"), 2);
    QCOMPARE(tilesOf(page, "grey"), 2);
    QTest::mouseClick(page->tiles().at(3), Qt::LeftButton);
    QDir().mkpath("screenshots");
    const QImage image = grabSettled(frame.get());
    QVERIFY(distinctColours(image) > 20);
    QVERIFY(image.save(QDir("screenshots").absoluteFilePath("station_view.png")));
    page->stopAll();
    QTRY_VERIFY_WITH_TIMEOUT(!page->board()->anyActive(), 30000);
}

QTEST_MAIN(TstStationScreenshot)
#include "tst_station_screenshot.moc"
