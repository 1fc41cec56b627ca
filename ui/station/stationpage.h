#pragma once

// The production station page: a header with the station, operator, recipe
// (name and the first 8 hex digits of its SHA-256) and the counts since the
// page opened; "打开工位文件", "全部开始" and "全部停止"; the settings, shown
// and never edited; one tile per slot in the file's order; the messages of
// the chosen slot's current and last unit. The units run in StationRunner's
// threads; this page only shows what StationFeed delivers to it.

#include "provision/recordsink.h"
#include "provision/stationfile.h"
#include "provision/unitjob.h"
#include "provision/unitsink.h"
#include "session/sessionlink.h"

#include <QList>
#include <QWidget>

#include <memory>

class QGridLayout;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class ReportFile;
class SlotTile;
class StationBoard;
class StationFeed;
class StationRunner;

class StationPage : public QWidget
{
    Q_OBJECT

public:
    explicit StationPage(QWidget *parent = nullptr);
    ~StationPage() override;

    // Reads and checks the station file, builds its plan (firmware read
    // once) and shows its slots; with "autoStart" the slots start watching.
    // False with the reason, also shown on the page: while slots still run
    // (stop them first), or for a refused file, after which no slot runs.
    bool openStation(const QString &path, QString *problem = nullptr);

    const StationBoard *board() const { return stationBoard; }
    QList<SlotTile *> tiles() const { return slotTiles; }
    // The text of the messages pane.
    QString messagesText() const;
    // Times between two looks at an idle port (tests shorten them).
    void setPollMs(int pollMs) { this->pollMs = pollMs; }

public slots:
    void startAll();
    void stopAll();
    void chooseStationFile();

private:
    void buildHeader();
    void buildTiles();
    void showCounts();
    void showSettings();
    void showSlot(int slot);
    void selectSlot(int slot);
    void shutDown();
    void refuse(const QString &problem);

    StationBoard *stationBoard;
    QLabel *titleLabel;
    QLabel *recipeLabel;
    QLabel *countsLabel;
    QLabel *problemLabel;
    QPushButton *openButton;
    QPushButton *startButton;
    QPushButton *stopButton;
    QPlainTextEdit *settingsView;
    QPlainTextEdit *messagesView;
    QGridLayout *tileGrid;
    QList<SlotTile *> slotTiles;
    int selected = -1;
    int pollMs = 1000;

    StationFile file;
    UnitPlan plan;
    CancelFlag cancel;
    std::unique_ptr<ReportFile> report;
    std::unique_ptr<RecordSink> records; // the pool's records table, or the spool
    SinkList sinks;                      // what the slots' units end in: report, records
    StationFeed *feed = nullptr;
    std::unique_ptr<StationRunner> runner;
};
