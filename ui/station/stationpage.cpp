#include "ui/station/stationpage.h"

#include "macpool/macpool.h"
#include "provision/reportfile.h"
#include "provision/stationplan.h"
#include "provision/stationrunner.h"
#include "ui/station/slottile.h"
#include "ui/station/stationboard.h"
#include "ui/station/stationfeed.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QVBoxLayout>

namespace
{
constexpr int TILE_COLUMNS = 4;
} // namespace

StationPage::StationPage(QWidget *parent)
    : QWidget(parent), stationBoard(new StationBoard(this)), titleLabel(new QLabel(this)),
      recipeLabel(new QLabel(this)), countsLabel(new QLabel(this)), problemLabel(new QLabel(this)),
      openButton(new QPushButton(tr("打开工位文件"), this)),
      startButton(new QPushButton(tr("全部开始"), this)),
      stopButton(new QPushButton(tr("全部停止"), this)), settingsView(new QPlainTextEdit(this)),
      messagesView(new QPlainTextEdit(this)), tileGrid(new QGridLayout())
{
    setObjectName(QStringLiteral("stationPage"));
    buildHeader();
    connect(openButton, &QPushButton::clicked, this, &StationPage::chooseStationFile);
    connect(startButton, &QPushButton::clicked, this, &StationPage::startAll);
    connect(stopButton, &QPushButton::clicked, this, &StationPage::stopAll);
    connect(stationBoard, &StationBoard::slotChanged, this, &StationPage::showSlot);
    connect(stationBoard, &StationBoard::countsChanged, this, &StationPage::showCounts);
    titleLabel->setText(tr("未打开工位文件"));
    startButton->setEnabled(false);
    stopButton->setEnabled(false);
}

StationPage::~StationPage()
{
    shutDown();
}

void StationPage::buildHeader()
{
    QFont big = titleLabel->font();
    big.setPointSize(15);
    big.setBold(true);
    titleLabel->setFont(big);
    countsLabel->setFont(big);
    problemLabel->setStyleSheet(QStringLiteral("color:#d03a32;"));
    problemLabel->setWordWrap(true);
    for (QPlainTextEdit *view : {settingsView, messagesView}) {
        view->setReadOnly(true);
        view->setMaximumHeight(110);
    }
    settingsView->setObjectName(QStringLiteral("stationSettings"));
    messagesView->setObjectName(QStringLiteral("slotMessages"));
    auto *header = new QHBoxLayout();
    auto *labels = new QVBoxLayout();
    labels->addWidget(titleLabel);
    labels->addWidget(recipeLabel);
    header->addLayout(labels, 1);
    header->addWidget(countsLabel);
    for (QPushButton *button : {openButton, startButton, stopButton})
        header->addWidget(button);
    for (int column = 0; column < TILE_COLUMNS; ++column)
        tileGrid->setColumnStretch(column, 1);
    auto *tilesHolder = new QWidget(this);
    tilesHolder->setLayout(tileGrid);
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setWidget(tilesHolder);
    auto *bottom = new QHBoxLayout();
    bottom->addWidget(settingsView, 1);
    bottom->addWidget(messagesView, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addWidget(problemLabel);
    layout->addWidget(scroll, 1);
    layout->addLayout(bottom);
}

bool StationPage::openStation(const QString &path, QString *problem)
{
    QString why;
    if (stationBoard->anyActive()) {
        why = tr("工位运行中，请先全部停止");
        problemLabel->setText(why);
        if (problem)
            *problem = why;
        return false;
    }
    shutDown();
    StationFile opened;
    UnitPlan built;
    if (!StationFileReader::load(path, &opened, &why) ||
        !StationPlan::build(opened, QStringLiteral("admin"), &built, &why)) {
        refuse(why);
        if (problem)
            *problem = why;
        return false;
    }
    auto reportFile = std::make_unique<ReportFile>();
    if (!opened.report.isEmpty() && !reportFile->open(opened.report, &why)) {
        refuse(why);
        if (problem)
            *problem = why;
        return false;
    }
    file = opened;
    plan = built;
    report = std::move(reportFile);
    records = std::make_unique<RecordSink>(plan.poolUrl.isEmpty() ? localPoolUrl() : plan.poolUrl);
    sinks = SinkList();
    if (report->isOpen())
        sinks.add(report.get());
    sinks.add(records.get());
    feed = new StationFeed(file.slotList.size(), &sinks, this);
    connect(feed, &StationFeed::phaseChanged, stationBoard, &StationBoard::onPhase,
            Qt::QueuedConnection);
    connect(feed, &StationFeed::unitBegan, stationBoard, &StationBoard::onBegan,
            Qt::QueuedConnection);
    connect(feed, &StationFeed::stepDone, stationBoard, &StationBoard::onStep,
            Qt::QueuedConnection);
    connect(feed, &StationFeed::progressed, stationBoard, &StationBoard::onProgress,
            Qt::QueuedConnection);
    connect(feed, &StationFeed::unitEnded, stationBoard, &StationBoard::onEnded,
            Qt::QueuedConnection);
    runner = std::make_unique<StationRunner>(file.slotList, plan, feed, &cancel);
    runner->setTiming({pollMs, 2 * pollMs});
    problemLabel->clear();
    stationBoard->reset(file.slotList);
    buildTiles();
    showSettings();
    if (file.autoStart)
        startAll();
    return true;
}

void StationPage::refuse(const QString &problem)
{
    problemLabel->setText(problem);
    startButton->setEnabled(false);
    stopButton->setEnabled(false);
}

void StationPage::buildTiles()
{
    qDeleteAll(slotTiles);
    slotTiles.clear();
    for (int i = 0; i < stationBoard->size(); ++i) {
        auto *tile = new SlotTile(this);
        tileGrid->addWidget(tile, i / TILE_COLUMNS, i % TILE_COLUMNS);
        connect(tile, &SlotTile::clicked, this, [this, i] { selectSlot(i); });
        slotTiles.append(tile);
        showSlot(i);
    }
    selected = -1;
    messagesView->setPlainText(tr("点击槽位查看其消息"));
    titleLabel->setText(tr("工位 %1    操作员 %2").arg(file.station, plan.operatorName));
    recipeLabel->setText(
        tr("配方 %1    SHA-256 %2")
            .arg(QFileInfo(file.recipe).fileName(), StationPlan::shortDigest(file.recipe)));
    startButton->setEnabled(true);
    stopButton->setEnabled(true);
    showCounts();
}

void StationPage::showSettings()
{
    QStringList lines{tr("工位文件：%1").arg(file.path),
                      tr("配方：%1").arg(file.recipe),
                      tr("地址池：%1").arg(file.pool.isEmpty() ? tr("本地") : file.pool),
                      tr("报告：%1").arg(file.report),
                      tr("登录密码文件：%1").arg(file.passwordFile),
                      tr("自动开始：%1").arg(file.autoStart ? tr("是") : tr("否"))};
    for (const StationSlot &slot : qAsConst(file.slotList))
        lines << tr("槽位 %1：%2")
                     .arg(slot.name,
                          slot.port.isEmpty() ? tr("序列号%1").arg(slot.serial) : slot.port);
    settingsView->setPlainText(lines.join(QLatin1Char('\n')));
}

void StationPage::showCounts()
{
    const int passed = stationBoard->passed();
    const int failed = stationBoard->failed();
    QString text = tr("通过 %1  失败 %2  良率 %3")
                       .arg(passed)
                       .arg(failed)
                       .arg(StationBoard::yieldText(passed, failed));
    // Records the database did not take yet wait in the station's spool.
    if (const int waiting = records ? records->spoolCount() : 0)
        text += tr("  待上传记录 %1").arg(waiting);
    countsLabel->setText(text);
}

void StationPage::showSlot(int slot)
{
    if (slot < 0 || slot >= slotTiles.size())
        return;
    slotTiles.at(slot)->display(stationBoard->view(slot));
    if (slot == selected)
        selectSlot(slot);
}

void StationPage::selectSlot(int slot)
{
    selected = slot;
    const SlotView &view = stationBoard->view(slot);
    QStringList text{tr("槽位 %1 本次：").arg(view.name)};
    text << view.messages << QString() << tr("上次：") << view.lastMessages;
    messagesView->setPlainText(text.join(QLatin1Char('\n')));
}

QString StationPage::messagesText() const
{
    return messagesView->toPlainText();
}

// Slots still ending their last unit are joined first; that is quick once
// they all told they are idle.
void StationPage::startAll()
{
    if (!runner || stationBoard->anyActive())
        return;
    runner->wait();
    stationBoard->markStarted();
    runner->start(file.autoStart);
}

void StationPage::stopAll()
{
    if (runner)
        runner->stop();
}

void StationPage::chooseStationFile()
{
    const QString path =
        QFileDialog::getOpenFileName(this, tr("打开工位文件"), QString(), tr("工位文件 (*.json)"));
    if (!path.isEmpty())
        openStation(path);
}

// Stops the slots and waits for their logout; the feed goes after them.
void StationPage::shutDown()
{
    if (runner) {
        runner->stop();
        runner->wait();
        runner.reset();
    }
    delete feed;
    feed = nullptr;
    report.reset();
}
