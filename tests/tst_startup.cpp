// Start-up as the demo launcher uses it: the simulated module's port comes
// up selected in the device page's port list, so only "打开" remains.
#include "app/startup.h"
#include "protocol/sigledebug.h"
#include "serial/portenumeration.h"
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
    void cleanup();
    void selectedPortComesUpSelected_data();
    void selectedPortComesUpSelected();
    void selectionSurvivesAPortListChange();

private:
    QComboBox *portList() const
    {
        return frame->findChild<QComboBox *>(QStringLiteral("comboBox_Com_2"));
    }

    std::unique_ptr<FramelessWidget> frame;
};

void TestStartup::cleanup()
{
    frame.reset();
    PortEnumeration::reset();
}

void TestStartup::selectedPortComesUpSelected_data()
{
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("shown"); // empty: the first port, as without a selection
    QTest::newRow("simulated port listed after another: selected") << SIMULATED << SIMULATED;
    QTest::newRow("port not listed: the first port") << NOT_LISTED << QString();
    QTest::newRow("no port asked for: the first port") << QString() << QString();
}

void TestStartup::selectedPortComesUpSelected()
{
    QFETCH(QString, selected);
    QFETCH(QString, shown);
    PortEnumeration::addExtraPort(OTHER);
    PortEnumeration::addExtraPort(SIMULATED);
    frame.reset(createMainFrame(selected));
    QComboBox *ports = portList();
    QVERIFY(ports->count() >= 2);
    QCOMPARE(ports->currentText(), shown.isEmpty() ? ports->itemText(0) : shown);
    if (!shown.isEmpty())
        QVERIFY(ports->currentIndex() > 0); // not merely the first entry
}

// The page reads the port list again every second; a change in the number of
// ports must keep the demo's port selected.
void TestStartup::selectionSurvivesAPortListChange()
{
    PortEnumeration::addExtraPort(OTHER);
    PortEnumeration::addExtraPort(SIMULATED);
    frame.reset(createMainFrame(SIMULATED));
    frame->show();
    QComboBox *ports = portList();
    const int before = ports->count();
    PortEnumeration::removeExtraPort(OTHER);
    QTRY_COMPARE_WITH_TIMEOUT(ports->count(), before - 1, 10000);
    QCOMPARE(ports->currentText(), SIMULATED);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
