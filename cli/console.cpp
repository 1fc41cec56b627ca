#include "cli/console.h"

#include "transfer/transferprogress.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <unistd.h>

namespace
{

constexpr int BAR_WIDTH = 24;

// All of `bytes` in as few write() calls as the descriptor allows; a line of
// a pipe or a regular file goes in one.
void writeAll(int fd, const QByteArray &bytes)
{
    qint64 sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + sent, size_t(bytes.size() - sent));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        sent += n;
    }
}

// "device.ssid=KB" pairs of a result's data, for the summary line.
void flatten(const QJsonObject &object, const QString &prefix, QStringList *pairs)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = prefix + it.key();
        const QJsonValue value = it.value();
        if (value.isObject())
            flatten(value.toObject(), key + QLatin1Char('.'), pairs);
        else if (value.isBool())
            pairs->append(key + QLatin1Char('=') +
                          (value.toBool() ? QLatin1String("true") : QLatin1String("false")));
        else if (value.isDouble() && value.toDouble() == double(qint64(value.toDouble())))
            pairs->append(key + QLatin1Char('=') + QString::number(qint64(value.toDouble())));
        else if (value.isDouble())
            pairs->append(key + QLatin1Char('=') + QString::number(value.toDouble(), 'f', 3));
        else if (value.isArray())
            pairs->append(
                key + QLatin1Char('=') +
                QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)));
        else
            pairs->append(key + QLatin1Char('=') + value.toString());
    }
}

} // namespace

bool ProgressThrottle::admit(qint64 nowMs)
{
    if (any && nowMs - lastMs < INTERVAL_MS)
        return false;
    any = true;
    lastMs = nowMs;
    return true;
}

Console::Console(bool json, const Streams &streams, Clock clock)
    : jsonMode(json), streams(streams), clock(std::move(clock))
{
    started.start();
    if (!this->clock)
        this->clock = [this] { return started.elapsed(); };
}

void Console::begin(const QString &port, const QString &command)
{
    if (!jsonMode)
        return;
    writeJson({{QStringLiteral("event"), QStringLiteral("begin")},
               {QStringLiteral("port"), port},
               {QStringLiteral("command"), command}});
}

void Console::step(const QString &port, const QString &name, bool ok)
{
    if (!jsonMode)
        return;
    writeJson({{QStringLiteral("event"), QStringLiteral("step")},
               {QStringLiteral("port"), port},
               {QStringLiteral("step"), name},
               {QStringLiteral("ok"), ok}});
}

void Console::progress(const QString &port, const QString &phase, qint64 done, qint64 total,
                       double bytesPerSecond)
{
    if (!jsonMode && !streams.bars)
        return;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!throttles[port].admit(clock()))
            return;
    }
    if (jsonMode) {
        writeJson({{QStringLiteral("event"), QStringLiteral("progress")},
                   {QStringLiteral("port"), port},
                   {QStringLiteral("phase"), phase},
                   {QStringLiteral("done"), double(done)},
                   {QStringLiteral("total"), double(total)},
                   {QStringLiteral("rate"), qRound(bytesPerSecond)}});
        return;
    }
    const int percent = total > 0 ? int(qBound<qint64>(0, done * 100 / total, 100)) : 0;
    const qint64 secondsLeft =
        bytesPerSecond > 0 ? qint64((total - done) / bytesPerSecond + 0.5) : 0;
    const int filled = percent * BAR_WIDTH / 100;
    const QString bar = QStringLiteral("%1 %2 [%3%4] %5")
                            .arg(port, phase, QString(filled, QLatin1Char('#')),
                                 QString(BAR_WIDTH - filled, QLatin1Char('-')),
                                 TransferProgress::format(percent, bytesPerSecond, secondsLeft));
    std::lock_guard<std::mutex> guard(lock);
    if (!bars.contains(port))
        barOrder.append(port);
    bars.insert(port, bar);
    drawBars();
}

void Console::result(const PortOutcome &outcome)
{
    if (jsonMode) {
        QJsonObject line = resultFields(outcome);
        line.insert(QStringLiteral("event"), QStringLiteral("result"));
        line.insert(QStringLiteral("port"), outcome.port);
        writeJson(line);
        return;
    }
    QString slot;
    {
        std::lock_guard<std::mutex> guard(lock);
        slot = slotOfPort.value(outcome.port);
    }
    const QString prefix = slot.isEmpty() ? QString() : slot + QLatin1Char(' ');
    writeText(streams.out, prefix + summaryLine(outcome) + QLatin1Char('\n'));
}

void Console::nameSlot(const QString &port, const QString &slot)
{
    std::lock_guard<std::mutex> guard(lock);
    slotOfPort.insert(port, slot);
}

void Console::slotPhase(const QString &slot, const QString &phase, const QString &detail)
{
    if (jsonMode) {
        writeJson({{QStringLiteral("event"), QStringLiteral("slot")},
                   {QStringLiteral("slot"), slot},
                   {QStringLiteral("phase"), phase},
                   {QStringLiteral("detail"), detail}});
        return;
    }
    if (phase == QLatin1String("refused"))
        warn(tr("槽位%1：%2").arg(slot, detail));
}

void Console::plainResult(const QJsonObject &fields, const QString &text)
{
    if (jsonMode) {
        QJsonObject line = fields;
        line.insert(QStringLiteral("event"), QStringLiteral("result"));
        writeJson(line);
        return;
    }
    if (!text.isEmpty())
        writeText(streams.out, text.endsWith(QLatin1Char('\n')) ? text : text + '\n');
}

void Console::failure(Failure failure, const QString &text)
{
    PortOutcome outcome;
    outcome.failure = failure;
    outcome.message = text;
    plainResult(resultFields(outcome), QString());
    warn(text);
}

void Console::warn(const QString &text)
{
    writeText(streams.err, QStringLiteral("kbmaint: ") + text + QLatin1Char('\n'));
}

QString Console::summaryLine(const PortOutcome &outcome)
{
    QString line = outcome.port + QStringLiteral(": ");
    if (outcome.ok()) {
        line += tr("成功");
    } else {
        line += tr("失败（%1）").arg(failureKey(outcome.failure));
        if (outcome.code >= 0)
            line += QStringLiteral(" 0x%1").arg(outcome.code, 2, 16, QLatin1Char('0'));
    }
    if (!outcome.message.isEmpty())
        line += QStringLiteral(" ") + outcome.message;
    QStringList pairs;
    flatten(outcome.data, QString(), &pairs);
    if (!pairs.isEmpty())
        line += QStringLiteral(" ") + pairs.join(QLatin1Char(' '));
    return line;
}

void Console::writeJson(QJsonObject line)
{
    const QString port = line.value(QStringLiteral("port")).toString();
    if (!port.isEmpty()) {
        std::lock_guard<std::mutex> guard(lock);
        const auto slot = slotOfPort.constFind(port);
        if (slot != slotOfPort.constEnd())
            line.insert(QStringLiteral("slot"), *slot);
    }
    writeBytes(streams.out, QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
}

void Console::writeText(int fd, const QString &text)
{
    std::lock_guard<std::mutex> guard(lock);
    // A summary or a message breaks into the bars' lines: draw them anew below it.
    if (fd == streams.err || streams.bars)
        barsDrawn = 0;
    const QByteArray bytes = text.toUtf8();
    writeAll(fd, bytes);
}

void Console::writeBytes(int fd, const QByteArray &bytes)
{
    std::lock_guard<std::mutex> guard(lock);
    writeAll(fd, bytes);
}

// Called with the lock held: one line per port, redrawn in place.
void Console::drawBars()
{
    QByteArray text;
    if (barsDrawn > 0)
        text += "\x1b[" + QByteArray::number(barsDrawn) + "F";
    for (const QString &port : qAsConst(barOrder))
        text += "\x1b[2K" + bars.value(port).toUtf8() + '\n';
    barsDrawn = barOrder.size();
    writeAll(streams.err, text);
}
