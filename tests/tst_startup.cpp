// Start-up as the demo launcher uses it: the simulated module's port comes
// up selected in the device page's port list, so only "打开" remains.
#include "app/startup.h"
#include "serial/portenumeration.h"
#include "ui/device/sigledebug.h"
#include "ui/frame/framelesswidget.h"

#include <QComboBox>
#include <QtTest>

#include <memory>

namespace
{

const QString SIMULATED = QStringLiteral("/dev/pts/simulated-module");
const QString OTHER = QStringLiteral("/dev/pts/other-module");
const QString NOT_LISTED = QStringLiteral("/dev/pts/not-listed");

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { PortEnumeration::reset(); }
    void selectedPortStaysSelected_data();
    void selectedPortStaysSelected();
};

void TestStartup::selectedPortStaysSelected_data()
{
    QTest::addColumn<QString>("selected");
    QTest::addColumn<bool>("shown"); // else the first port, as without a selection
    QTest::newRow("simulated port, listed after another: selected") << SIMULATED << true;
    QTest::newRow("port not listed: the first port") << NOT_LISTED << false;
}

// The page reads the port list again every second: a change in the number of
// ports keeps the selection.
void TestStartup::selectedPortStaysSelected()
{
    QFETCH(QString, selected);
    QFETCH(bool, shown);
    PortEnumeration::addExtraPort(OTHER);
    PortEnumeration::addExtraPort(SIMULATED);
    std::unique_ptr<FramelessWidget> frame(createMainFrame(selected));
    frame->show();
    auto *ports = frame->findChild<QComboBox *>(QStringLiteral("comboBox_Com_2"));
    const int count = ports->count();
    QCOMPARE(ports->currentIndex(), shown ? count - 1 : 0);
    PortEnumeration::removeExtraPort(OTHER);
    QTRY_COMPARE_WITH_TIMEOUT(ports->count(), count - 1, 10000);
    QCOMPARE(ports->currentText(), shown ? SIMULATED : ports->itemText(0));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
