#include "ui/macpage/handlerecorde.h"
#include "ui_handlerecorde.h"

#include "base/macaddress.h"
#include "macpool/macpool.h"
#include "ui/boxes/custombox.h"
#include "ui/boxes/progressbar.h"
#include "ui/macpage/dbpassword.h"
#include "ui/macpage/handlesqlmac.h"

#include <QDate>
#include <QDateTime>
#include <QEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace
{
constexpr int END_WAIT_MS = 2000;
// Narrowest table column: "用否" and its cells.
constexpr int MIN_COLUMN_WIDTH = 36;
constexpr int MAC_COLUMN = 0;
constexpr int USE_COLUMN = 2;
// Table rows that stay on screen however small the window: the controls
// above the table scroll instead (at the window's minimum size they keep
// about half their height).
constexpr int SHOWN_ROWS = 8;
constexpr int ROW_PADDING = 5;
const char *const BATCH_TIME_FORMAT = "yyyyMMddhhmmsszzz";

// Keeps the wheel for the page: over a combo box, spin box or date edit
// without the keyboard focus, the wheel scrolls what holds it instead of
// changing the value (an ignored wheel event travels to the parent).
class WheelGuard : public QObject
{
public:
    explicit WheelGuard(QObject *parent) : QObject(parent) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (event->type() != QEvent::Wheel || !widget || widget->hasFocus())
            return false;
        event->ignore();
        return true;
    }
};
} // namespace

HandleRecorde::HandleRecorde(QWidget *parent)
    : QWidget(parent), ui(new Ui::HandleRecorde),
      progress(new Progressbar(tr("正在生成MAC信息"), this))
{
    ui->setupUi(this);
    progress->setModal(true);
    setUpStartFields();
    keepRowsOnScreen();
    fitColumns();
    setUpKeyboard();
    ui->dateEdit_find->setDate(QDate::currentDate());
    ui->dateEdit_used->setDate(QDate::currentDate());
}

HandleRecorde::~HandleRecorde()
{
    if (worker) { // a generation outlives the page only until its thread ends
        worker->disconnect(this);
        worker->wait();
        delete worker;
    }
    delete ui;
}

// Lists "00" to "FE" ("FF" is typed), accepts 0 to 2 hexadecimal digits and
// starts from 90:7E:BA:74:B7:0C.
void HandleRecorde::setUpStartFields()
{
    QStringList bytes;
    for (int value = 0; value < 0xFF; ++value)
        bytes << QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
    const QStringList initial{"90", "7E", "BA", "74", "B7", "0C"};
    const QList<QComboBox *> fields{ui->comboBox_mac1, ui->comboBox_mac2, ui->comboBox_mac3,
                                    ui->comboBox_mac4, ui->comboBox_mac5, ui->comboBox_mac6};
    const QRegularExpression hexByte(QStringLiteral("[0-9a-fA-F]{0,2}"));
    for (int i = 0; i < fields.size(); ++i) {
        fields[i]->addItems(bytes);
        fields[i]->setValidator(new QRegularExpressionValidator(hexByte, fields[i]));
        fields[i]->setCurrentText(initial.at(i));
    }
}

// The table keeps SHOWN_ROWS rows between its header and its scroll bar,
// rows as high as a line of text and its padding; the controls give way.
void HandleRecorde::keepRowsOnScreen()
{
    QTableWidget *table = ui->tableWidget;
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + ROW_PADDING);
    table->setMinimumHeight(table->horizontalHeader()->sizeHint().height() +
                            SHOWN_ROWS * table->verticalHeader()->defaultSectionSize() +
                            2 * table->frameWidth()); // the columns fit: no scroll bar below
    ui->verticalLayout->setStretchFactor(table, 1);
}

// Every column in the table's width: the address and "用否" as wide as their
// texts, the others share the rest; a text too long for its column is
// elided (its cell's tool tip holds it whole).
void HandleRecorde::fitColumns()
{
    QHeaderView *header = ui->tableWidget->horizontalHeader();
    header->setMinimumSectionSize(MIN_COLUMN_WIDTH);
    header->setSectionResizeMode(QHeaderView::Stretch);
    header->setSectionResizeMode(MAC_COLUMN, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(USE_COLUMN, QHeaderView::ResizeToContents);
}

// Enter in a search field runs its search. The value fields take the focus
// by click or Tab only, and a wheel over one without the focus scrolls the
// page.
void HandleRecorde::setUpKeyboard()
{
    connect(ui->lineEdit_mac_find, &QLineEdit::returnPressed, ui->pushButton_find,
            &QPushButton::click);
    connect(ui->lineEdit_operator, &QLineEdit::returnPressed, ui->pushButton_operator,
            &QPushButton::click);
    auto *guard = new WheelGuard(this);
    for (QWidget *field : findChildren<QWidget *>()) {
        if (!qobject_cast<QComboBox *>(field) && !qobject_cast<QAbstractSpinBox *>(field))
            continue;
        field->setFocusPolicy(Qt::StrongFocus);
        field->installEventFilter(guard);
    }
}

// Replaces the gate of an earlier click; `action` runs once the password is
// accepted.
void HandleRecorde::openGate(void (HandleRecorde::*action)())
{
    delete gate;
    gate = new DBPassword(dbPassword, this);
    connect(gate, &DBPassword::psOk, this, action);
    gate->setModal(true);
    gate->show();
}

void HandleRecorde::on_pushButton_genarote_clicked()
{
    const QString why = checkStartAddress();
    if (!why.isEmpty()) {
        CustomWarningBox::showWarningBox(tr("提示"), why);
        return;
    }
    openGate(&HandleRecorde::startGeneration);
}

void HandleRecorde::on_pushButton_clear_db_clicked()
{
    openGate(&HandleRecorde::askBeforeClearing);
}

QString HandleRecorde::separatorText() const
{
    const QString text = ui->comboBox_sep->currentText();
    return text == tr("无") ? QString() : text;
}

QStringList HandleRecorde::startFieldTexts() const
{
    return {ui->comboBox_mac1->currentText(), ui->comboBox_mac2->currentText(),
            ui->comboBox_mac3->currentText(), ui->comboBox_mac4->currentText(),
            ui->comboBox_mac5->currentText(), ui->comboBox_mac6->currentText()};
}

// Empty when the fields, the separator and the range can be generated.
QString HandleRecorde::checkStartAddress() const
{
    const QString why = checkStartFields(startFieldTexts(), separatorText());
    if (!why.isEmpty())
        return why;
    MacRange range;
    QString rangeWhy;
    planMacRange(joinStartFields(startFieldTexts(), separatorText()), ui->spinBox_num->value(),
                 ui->spinBox_headLen->value(), ui->spinBox_step->value(), separatorText(), range,
                 rangeWhy);
    return rangeWhy;
}

void HandleRecorde::startGeneration()
{
    if (worker)
        return;
    const int count = ui->spinBox_num->value();
    const QString start = joinStartFields(startFieldTexts(), separatorText());
    QString why;
    planMacRange(start, count, ui->spinBox_headLen->value(), ui->spinBox_step->value(),
                 separatorText(), generatedRange, why);
    // Marks the rows of this generation, so that the table can show them.
    generatedBatch = QDateTime::currentDateTime().toString(QLatin1String(BATCH_TIME_FORMAT)) +
                     QLatin1Char(' ') + colonMac(generatedRange.first);
    generationError.clear();
    worker = new HandleSqlMac(start, count, ui->spinBox_headLen->value(), ui->spinBox_step->value(),
                              separatorText(), generatedBatch);
    connect(worker, &HandleSqlMac::isEndSignal, this, &HandleRecorde::endGeneration);
    connect(worker, &HandleSqlMac::progressVSignal, progress, &Progressbar::onSetValue);
    connect(worker, &HandleSqlMac::pageInfoSignal, this, [this](int current, int pages) {
        ui->label_current->setText(QString::number(current));
        ui->label_sum->setText(QString::number(pages));
    });
    connect(worker, &HandleSqlMac::errorMsg, progress, &Progressbar::onSetError);
    connect(worker, &HandleSqlMac::errorMsg, this,
            [this](const QString &message) { generationError = message; });
    setDatabaseActionsEnabled(false);
    worker->start(QThread::InheritPriority);
    progress->onSetRange(0, count + 1);
    progress->show();
}

void HandleRecorde::endGeneration()
{
    if (!worker)
        return;
    worker->quit();
    bool finished = worker->wait(END_WAIT_MS);
    if (!finished) { // run() has emitted its last signal; let the thread end on its own
        connect(worker, &QThread::finished, worker, &QObject::deleteLater);
        finished = worker->isFinished();
    }
    if (finished)
        delete worker;
    worker = nullptr;
    setDatabaseActionsEnabled(true);
    reportGeneration();
}

// The progress box goes. A stored range is named in the information box and
// its first page shown in the table; a failure shows the store's text.
void HandleRecorde::reportGeneration()
{
    progress->close();
    if (!generationError.isEmpty()) {
        CustomWarningBox::showWarningBox(tr("数据库操作错误"), generationError);
        return;
    }
    searchFirstPage(QUERY_GENERATED);
    const int count = generatedRange.count;
    CustomInfoBox::showInfoBox(
        tr("MAC生成"),
        tr("已存入%1个MAC地址：%2 至 %3")
            .arg(count)
            .arg(colonMac(generatedRange.first), colonMac(generatedRange.address(count - 1))));
}

// Past the gate: names what would go, used addresses included, and clears
// only on "是". A pool that cannot be counted is reported instead.
void HandleRecorde::askBeforeClearing()
{
    QString error;
    const MacPoolStats counts = MacPool(localPoolUrl()).stats(error);
    if (!error.isEmpty()) {
        CustomInfoBox::showInfoBox(tr("数据库操作错误"), error);
        return;
    }
    delete question;
    question = CustomQuestionBox::ask(
        tr("清空数据库"), tr("将删除地址池中的全部%1个MAC地址，其中%2个已使用（已写入模块）。"
                             "删除后不能恢复，确定清空吗？")
                              .arg(counts.total)
                              .arg(counts.used));
    connect(question, &CustomQuestionBox::answered, this, [this](bool yes) {
        if (yes)
            clearPool();
    });
}

// The table and its pager show the empty pool afterwards.
void HandleRecorde::clearPool()
{
    QString error;
    clearMacTable(error);
    if (!error.isEmpty()) {
        CustomInfoBox::showInfoBox(tr("数据库操作错误"), error);
        return;
    }
    fillTable({});
    showPageInfo(1, 0);
    CustomInfoBox::showInfoBox(tr("数据库操作"), tr("数据库已经清空."));
}

// Nothing may reach the database while a generation runs, even with the
// progress box closed early.
void HandleRecorde::setDatabaseActionsEnabled(bool enabled)
{
    for (QPushButton *action :
         {ui->pushButton_genarote, ui->pushButton_clear_db, ui->pushButton_create_time,
          ui->pushButton_status, ui->pushButton_used_time, ui->pushButton_operator,
          ui->pushButton_find, ui->pushButton_up, ui->pushButton_down})
        action->setEnabled(enabled);
}
