#include "ui/station/stationboard.h"

#include "provision/stationfile.h"
#include "provision/stationrunner.h"
#include "provision/unitsink.h"

#include <QDateTime>
#include <QHash>
#include <QTime>

namespace
{

bool holdsVerdict(const SlotView &view)
{
    return view.state == SlotView::State::Passed || view.state == SlotView::State::Failed;
}

} // namespace

void StationBoard::reset(const QVector<StationSlot> &slotList)
{
    views.clear();
    for (const StationSlot &slot : slotList) {
        SlotView view;
        view.name = slot.name;
        view.port = slot.port.isEmpty() ? tr("序列号%1").arg(slot.serial) : slot.port;
        view.status = tr("空闲");
        views.append(view);
    }
    passCount = failCount = 0;
    emit countsChanged();
}

QString StationBoard::yieldText(int passed, int failed)
{
    const int total = passed + failed;
    if (total == 0)
        return QStringLiteral("—");
    return QStringLiteral("%1%").arg(passed * 100.0 / total, 0, 'f', 1);
}

bool StationBoard::anyActive() const
{
    for (const SlotView &view : views) {
        if (view.active)
            return true;
    }
    return false;
}

void StationBoard::markStarted()
{
    for (int i = 0; i < views.size(); ++i) {
        views[i].active = true;
        emit slotChanged(i);
    }
}

QString StationBoard::stepText(const QString &step)
{
    static const QHash<QString, const char *> TEXTS{
        {QStringLiteral("login"), QT_TR_NOOP("登录")},
        {QStringLiteral("info"), QT_TR_NOOP("读取信息")},
        {QStringLiteral("ssid"), QT_TR_NOOP("写SSID")},
        {QStringLiteral("wifi-password"), QT_TR_NOOP("写Wifi密码")},
        {QStringLiteral("login-password"), QT_TR_NOOP("改登录密码")},
        {QStringLiteral("wifi-mac"), QT_TR_NOOP("写WiFi MAC")},
        {QStringLiteral("fe-mac"), QT_TR_NOOP("写FE MAC")},
        {QStringLiteral("verify"), QT_TR_NOOP("回读校验")},
        {QStringLiteral("pull-log"), QT_TR_NOOP("拉取日志")},
        {QStringLiteral("upgrade"), QT_TR_NOOP("升级")},
        {QStringLiteral("logout"), QT_TR_NOOP("退出登录")},
    };
    const auto text = TEXTS.constFind(step);
    return text == TEXTS.constEnd() ? step : tr(*text);
}

void StationBoard::note(int slot, const QString &text)
{
    views[slot].messages.append(QTime::currentTime().toString(QStringLiteral("HH:mm:ss ")) + text);
}

void StationBoard::onPhase(int slot, int phase, const QString &detail)
{
    if (!valid(slot))
        return;
    SlotView &view = views[slot];
    if (!detail.isEmpty() && SlotPhase(phase) != SlotPhase::Refused)
        view.port = detail;
    switch (SlotPhase(phase)) {
    case SlotPhase::Idle:
        view.active = false;
        view.note = tr("已停止");
        if (!holdsVerdict(view)) {
            view.state = SlotView::State::Idle;
            view.status = tr("空闲");
        }
        break;
    case SlotPhase::WaitingPort:
    case SlotPhase::WaitingModule:
        view.note = SlotPhase(phase) == SlotPhase::WaitingPort ? tr("串口未接入") : QString();
        if (!holdsVerdict(view)) {
            view.state = SlotView::State::Waiting;
            view.status = tr("等待模块");
        }
        break;
    case SlotPhase::Refused:
        view.state = SlotView::State::Refused;
        view.status = tr("拒绝：%1").arg(detail);
        note(slot, view.status);
        break;
    case SlotPhase::WaitingRemoval:
        view.note = tr("请取下模块");
        break;
    case SlotPhase::Running:
        break;
    }
    emit slotChanged(slot);
}

void StationBoard::onBegan(int slot, const QString &port)
{
    if (!valid(slot))
        return;
    SlotView &view = views[slot];
    view.lastMessages = view.messages;
    view.messages.clear();
    view.state = SlotView::State::Running;
    view.status = tr("开始");
    view.note.clear();
    view.percent = -1;
    view.port = port;
    note(slot, tr("开始：%1").arg(port));
    emit slotChanged(slot);
}

void StationBoard::onStep(int slot, const QString &step)
{
    if (!valid(slot))
        return;
    views[slot].status = tr("%1 完成").arg(stepText(step));
    views[slot].percent = -1;
    note(slot, views[slot].status);
    emit slotChanged(slot);
}

void StationBoard::onProgress(int slot, int phase, qint64 done, qint64 total)
{
    if (!valid(slot) || total <= 0)
        return;
    SlotView &view = views[slot];
    view.percent = int(qBound<qint64>(0, done * 100 / total, 100));
    view.status = TransferPhase(phase) == TransferPhase::Upgrade ? tr("升级中") : tr("拉取日志中");
    emit slotChanged(slot);
}

void StationBoard::onEnded(int slot, bool ok, const QString &message, const QJsonObject &record)
{
    if (!valid(slot))
        return;
    SlotView &view = views[slot];
    view.state = ok ? SlotView::State::Passed : SlotView::State::Failed;
    view.status = ok ? tr("通过") : tr("失败：%1").arg(message);
    view.percent = -1;
    view.wifiMac = record.value(QStringLiteral("wifiMac")).toString();
    view.feMac = record.value(QStringLiteral("feMac")).toString();
    view.time = QDateTime::fromString(record.value(QStringLiteral("time")).toString(), Qt::ISODate)
                    .toString(QStringLiteral("HH:mm:ss"));
    ++(ok ? view.passed : view.failed);
    ++(ok ? passCount : failCount);
    note(slot, view.status);
    emit slotChanged(slot);
    emit countsChanged();
}
