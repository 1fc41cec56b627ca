#include "macpool/macrecords.h"

#include <QStringList>

namespace
{

enum class Member { IsUsed, Mac, BarCode, BoardType, CreateDate, UsedDate, OperatorName, Batch };

// Adds the member's condition to `statement` when the filter sets it.
void addCondition(const MacFilter &filter, Member member, SqlDialect dialect,
                  QStringList &conditions, QVariantList &values)
{
    const QString likeOperator =
        dialect == SqlDialect::POSTGRESQL ? QStringLiteral("ILIKE") : QStringLiteral("LIKE");
    const auto like = [&](const char *column, const QString &text) {
        if (text.isEmpty())
            return;
        conditions << QStringLiteral("%1 %2 ?").arg(QLatin1String(column), likeOperator);
        values << QVariant(text + QLatin1Char('%'));
    };
    // Older files hold first rows of a range in dash or bare form.
    const auto likeAnyForm = [&](const QString &text) {
        if (text.isEmpty())
            return;
        QStringList alternatives;
        for (const QString &form : macPrefixForms(text)) {
            alternatives << QStringLiteral("MacAddr %1 ?").arg(likeOperator);
            values << QVariant(form + QLatin1Char('%'));
        }
        conditions << (alternatives.size() == 1
                           ? alternatives.first()
                           : QLatin1Char('(') + alternatives.join(QStringLiteral(" OR ")) +
                                 QLatin1Char(')'));
    };
    const auto equal = [&](const char *column, const QString &text) {
        if (text.isEmpty())
            return;
        conditions << QStringLiteral("%1=?").arg(QLatin1String(column));
        values << QVariant(text);
    };
    switch (member) {
    case Member::IsUsed:
        if (filter.isUsed == 0 || filter.isUsed == 1) {
            conditions << QStringLiteral("IsUsed=?");
            values << QVariant(filter.isUsed);
        }
        break;
    case Member::Mac:
        likeAnyForm(filter.mac);
        break;
    case Member::BarCode:
        like("BarCode", filter.barCode);
        break;
    case Member::BoardType:
        equal("BoardType", filter.boardType);
        break;
    case Member::CreateDate:
        like("CreateDateTime", filter.createDate);
        break;
    case Member::UsedDate:
        like("UsedDateTime", filter.usedDate);
        break;
    case Member::OperatorName:
        equal("Operator", filter.operatorName);
        break;
    case Member::Batch:
        equal("batchNum", filter.batch);
        break;
    }
}

// "SELECT <what> FROM table" plus " WHERE <conditions>" in the given order.
MacStatement filteredSelect(const QString &what, const MacFilter &filter, SqlDialect dialect,
                            std::initializer_list<Member> order)
{
    MacStatement statement;
    QStringList conditions;
    for (Member member : order)
        addCondition(filter, member, dialect, conditions, statement.values);
    statement.sql = QStringLiteral("SELECT %1 FROM %2 ").arg(what, macTableName);
    if (!conditions.isEmpty())
        statement.sql += QStringLiteral("WHERE ") + conditions.join(QStringLiteral(" AND "));
    return statement;
}

QString quotedLiteral(const QVariant &value)
{
    if (value.type() == QVariant::Int)
        return value.toString();
    QString text = value.toString();
    text.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

} // namespace

QString traceMacStatement(const MacStatement &statement)
{
    QString text;
    int next = 0;
    for (QChar c : statement.sql) {
        if (c == QLatin1Char('?') && next < statement.values.size())
            text += quotedLiteral(statement.values.at(next++));
        else
            text += c;
    }
    return text;
}

MacStatement countMacStatement(const MacFilter &filter, SqlDialect dialect)
{
    MacStatement statement =
        filteredSelect(QStringLiteral("count(*)"), filter, dialect,
                       {Member::IsUsed, Member::Mac, Member::BarCode, Member::BoardType,
                        Member::CreateDate, Member::UsedDate, Member::OperatorName, Member::Batch});
    statement.sql += QLatin1Char(';');
    return statement;
}

MacStatement selectMacPageStatement(int page, const MacFilter &filter, SqlDialect dialect)
{
    MacStatement statement =
        filteredSelect(QStringLiteral("*"), filter, dialect,
                       {Member::BoardType, Member::Mac, Member::BarCode, Member::CreateDate,
                        Member::UsedDate, Member::IsUsed, Member::OperatorName, Member::Batch});
    if (!statement.sql.endsWith(QLatin1Char(' ')))
        statement.sql += QLatin1Char(' ');
    statement.sql += QStringLiteral("ORDER BY MacAddr LIMIT %1 OFFSET %2;")
                         .arg(MacStore::PAGE_ROWS)
                         .arg(qint64(page - 1) * MacStore::PAGE_ROWS);
    return statement;
}

QString macPageText(const QList<MacRow> &rows)
{
    QStringList entries;
    for (const MacRow &row : rows)
        entries << QStringList{row.MacAddr,      row.CreateDateTime, QString::number(row.IsUsed),
                               row.UsedDateTime, row.BoardType,      row.BarCode,
                               row.Operator,     row.batchNum}
                       .join(QLatin1Char('|'));
    return entries.join(QLatin1Char(';'));
}
