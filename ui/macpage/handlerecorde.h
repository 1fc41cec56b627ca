#pragma once

#include "macpool/macstore.h"
#include "ui/boxes/custombox.h"
#include "ui/macpage/dbpassword.h"
#include <QHash>

#include <QPointer>
#include <QString>
#include <QWidget>

class HandleSqlMac;
class Progressbar;

namespace Ui
{
class HandleRecorde;
}

// The MAC pool page: generates a range of addresses into the pool on a
// worker thread, clears the pool (both behind the password gate; clearing
// asks once more, with the counts it deletes), and
// searches the pool in five ways with 50-row paging. All SQL lives in the
// store; this page keeps the widgets, the gate and the messages.
//   handlerecorde.cpp        construction, gate, generation, clearing
//   handlerecorde_search.cpp searches, paging, the table
class HandleRecorde : public QWidget
{
    Q_OBJECT

public:
    // Which search the paging buttons repeat.
    enum QueryMode {
        QUERY_NONE = 0,
        QUERY_STATUS = 1,
        QUERY_CREATE_DATE = 2,
        QUERY_USED_DATE = 3,
        QUERY_ADDRESS = 4,
        QUERY_OPERATOR = 6,
        QUERY_GENERATED = 7, // the range of the last generation
    };

    explicit HandleRecorde(QWidget *parent = nullptr);
    ~HandleRecorde() override;

    int currentQueryMode() const { return queryMode; }
    bool isGenerating() const { return worker != nullptr; }
    DBPassword *gateDialog() const { return gate; }
    // The question before the pool is emptied, while it is on screen.
    CustomQuestionBox *clearQuestion() const { return question; }
    Progressbar *progressBox() const { return progress; }

private slots:
    void on_pushButton_genarote_clicked();
    void on_pushButton_clear_db_clicked();
    void on_pushButton_used_time_clicked();
    void on_pushButton_create_time_clicked();
    void on_pushButton_status_clicked();
    void on_pushButton_operator_clicked();
    void on_pushButton_find_clicked();
    void on_pushButton_up_clicked();
    void on_pushButton_down_clicked();

private:
    void setUpStartFields();
    void keepRowsOnScreen();
    void fitColumns();
    void setUpKeyboard();
    void openGate(void (HandleRecorde::*action)());
    QString separatorText() const;
    QStringList startFieldTexts() const;
    QString checkStartAddress() const;
    void startGeneration();
    void endGeneration();
    void reportGeneration();
    void askBeforeClearing();
    void clearPool();
    void setDatabaseActionsEnabled(bool enabled);

    MacFilter searchFilter(int mode) const;
    void applyOperatorRule(MacFilter &filter) const;
    void applyDateRule(MacFilter &filter) const;
    int runSearch(int mode, int page);
    void searchFirstPage(QueryMode mode);
    void turnPage(int delta);
    void showPageInfo(int current, int pages);
    void fillTable(const QList<MacRow> &rows);
    QHash<QString, QString> unitNotes(const QList<MacRow> &rows) const;

    Ui::HandleRecorde *ui;
    const QString dbPassword = QStringLiteral("580274");
    QPointer<DBPassword> gate;
    QPointer<CustomQuestionBox> question;
    HandleSqlMac *worker = nullptr;
    Progressbar *progress;
    int queryMode = QUERY_NONE;
    // The generation under way or last done: its range, the batch text that
    // marks its rows, and the worker's error (empty: stored).
    MacRange generatedRange;
    QString generatedBatch;
    QString generationError;
};
