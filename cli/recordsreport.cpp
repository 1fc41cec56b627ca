#include "cli/recordsreport.h"

#include <QCoreApplication>

namespace
{
class ReportTexts
{
    Q_DECLARE_TR_FUNCTIONS(ReportTexts)
};

constexpr int CHART_WIDTH = 900;
constexpr int LABEL_WIDTH = 190;
constexpr int BAR_HEIGHT = 18;
constexpr int BAR_GAP = 6;

const char *const STYLE =
    "body{font-family:sans-serif;margin:24px;color:#222}"
    "table{border-collapse:collapse;margin:8px 0 24px}"
    "td,th{border:1px solid #bbb;padding:3px 8px;font-size:13px;text-align:left}"
    "th{background:#eee}.num{text-align:right}"
    "svg text{font-size:12px;font-family:sans-serif}"
    ".legend span{display:inline-block;width:12px;height:12px;margin:0 4px 0 12px}";

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

QString percent(double share)
{
    return QString::number(share * 100.0, 'f', 1) + QLatin1Char('%');
}

// One horizontal bar per group: first-pass units (green), later passes
// (blue), failed units (red), the widest group filling the chart.
QString barChart(const QList<YieldRow> &groups)
{
    qint64 widest = 1;
    for (const YieldRow &row : groups)
        widest = qMax(widest, row.units);
    const int height = int(groups.size()) * (BAR_HEIGHT + BAR_GAP) + BAR_GAP;
    QString svg = QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" "
                                 "height=\"%2\" role=\"img\">")
                      .arg(CHART_WIDTH)
                      .arg(height);
    const double scale = double(CHART_WIDTH - LABEL_WIDTH - 160) / double(widest);
    int y = BAR_GAP;
    for (const YieldRow &row : groups) {
        const qint64 parts[] = {row.firstPass, row.passed - row.firstPass, row.failed};
        const char *colours[] = {"#3a9a4a", "#4a7fc1", "#d0433a"};
        double x = LABEL_WIDTH;
        svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\">%3</text>")
                   .arg(LABEL_WIDTH - 6)
                   .arg(y + 13)
                   .arg(esc(row.group.isEmpty() ? ReportTexts::tr("（无）") : row.group));
        for (int i = 0; i < 3; ++i) {
            const double width = double(parts[i]) * scale;
            if (parts[i] > 0)
                svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" "
                                      "fill=\"%5\"/>")
                           .arg(x, 0, 'f', 1)
                           .arg(y)
                           .arg(width, 0, 'f', 1)
                           .arg(BAR_HEIGHT)
                           .arg(QLatin1String(colours[i]));
            x += width;
        }
        svg += QStringLiteral("<text x=\"%1\" y=\"%2\">%3 / %4</text>")
                   .arg(x + 6, 0, 'f', 1)
                   .arg(y + 13)
                   .arg(row.units)
                   .arg(percent(row.firstPassYield()));
        y += BAR_HEIGHT + BAR_GAP;
    }
    return svg + QStringLiteral("</svg>");
}

QString legend()
{
    return QStringLiteral("<p class=\"legend\"><span style=\"background:#3a9a4a\"></span>%1"
                          "<span style=\"background:#4a7fc1\"></span>%2"
                          "<span style=\"background:#d0433a\"></span>%3　%4</p>")
        .arg(ReportTexts::tr("一次通过"), ReportTexts::tr("返修后通过"), ReportTexts::tr("失败"),
             ReportTexts::tr("柱后数字：设备数 / 一次通过率"));
}

QString row(const QStringList &cells, const QString &tag = QStringLiteral("td"))
{
    QString html = QStringLiteral("<tr>");
    for (const QString &cell : cells)
        html += QStringLiteral("<%1>%2</%1>").arg(tag, esc(cell));
    return html + QStringLiteral("</tr>");
}

QString summary(const YieldRow &total)
{
    return QStringLiteral("<table>") +
           row({ReportTexts::tr("记录"), ReportTexts::tr("设备"), ReportTexts::tr("通过"),
                ReportTexts::tr("失败"), ReportTexts::tr("一次通过"),
                ReportTexts::tr("一次通过率")},
               QStringLiteral("th")) +
           row({QString::number(total.records), QString::number(total.units),
                QString::number(total.passed), QString::number(total.failed),
                QString::number(total.firstPass), percent(total.firstPassYield())}) +
           QStringLiteral("</table>");
}

QString failureTable(const QList<FailureRow> &failures)
{
    QString html = QStringLiteral("<table>") +
                   row({ReportTexts::tr("步骤"), ReportTexts::tr("错误"), ReportTexts::tr("次数")},
                       QStringLiteral("th"));
    for (const FailureRow &failure : failures)
        html += row({failure.step, failure.error, QString::number(failure.count)});
    return html + QStringLiteral("</table>");
}

QString failedUnits(const QList<UnitRecordRow> &failed)
{
    QString html =
        QStringLiteral("<table>") +
        row({ReportTexts::tr("开始(UTC)"), ReportTexts::tr("工位"), ReportTexts::tr("槽位"),
             ReportTexts::tr("串口"), ReportTexts::tr("Wifi MAC"), ReportTexts::tr("步骤"),
             ReportTexts::tr("错误"), ReportTexts::tr("信息")},
            QStringLiteral("th"));
    for (int i = 0; i < failed.size() && i < MAX_FAILED_ROWS; ++i) {
        const UnitRecordRow &unit = failed.at(i);
        html +=
            row({unit.startedAt, unit.station, unit.slot, unit.port, unit.wifiMac, unit.failedStep,
                 unit.error, unit.record.value(QLatin1String("message")).toString()});
    }
    html += QStringLiteral("</table>");
    if (failed.size() > MAX_FAILED_ROWS)
        html += QStringLiteral("<p>%1</p>")
                    .arg(ReportTexts::tr("另有%1条失败记录未列出。")
                             .arg(failed.size() - MAX_FAILED_ROWS));
    return html;
}
} // namespace

QByteArray recordsReportHtml(const RecordsReportData &data)
{
    QString html = QStringLiteral("<!DOCTYPE html><html lang=\"zh\"><head><meta charset=\"utf-8\">"
                                  "<title>%1</title><style>%2</style></head><body><h1>%1</h1>")
                       .arg(esc(data.title), QLatin1String(STYLE));
    html += summary(data.byDay.total);
    html += QStringLiteral("<h2>%1</h2>").arg(ReportTexts::tr("每天的良率")) + legend() +
            barChart(data.byDay.groups);
    html += QStringLiteral("<h2>%1</h2>").arg(ReportTexts::tr("每个工位的良率")) +
            barChart(data.byStation.groups);
    html += QStringLiteral("<h2>%1</h2>").arg(ReportTexts::tr("按步骤和错误的失败")) +
            failureTable(data.byDay.failures);
    html +=
        QStringLiteral("<h2>%1</h2>").arg(ReportTexts::tr("失败的设备")) + failedUnits(data.failed);
    return (html + QStringLiteral("</body></html>\n")).toUtf8();
}
