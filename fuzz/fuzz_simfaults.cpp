// Fuzz target for the fault specifications module-sim takes on its command
// line ("nak:3", "raw:01 83 02", ...): any text is either applied or refused
// with a problem text, never both, and a refused one changes nothing.
#include "fuzz/fuzzdriver.h"
#include "protocol/frame.h"
#include "simulator/modulemodel.h"
#include "simulator/simfaults.h"

#include <QByteArray>
#include <QString>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1024)
        return 0;
    const QString spec = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    ModuleConfig config;
    config.logSize = 128; // the log plays no part here
    ModuleModel model(config);
    model.setClock([] { return qint64(0); });
    QString problem;
    const bool applied = applyFault(spec, &model, nullptr, &problem);
    if (applied == !problem.isEmpty())
        std::abort();
    // A refused fault leaves the module as it was: a request outside a
    // session is answered with illegal operation.
    QByteArray reply;
    QObject::connect(&model, &ModuleModel::output, [&reply](const QByteArray &b) { reply += b; });
    model.feed(buildSessionReadRequest(SessionRequest::ReadVersions));
    if (!applied && reply != QByteArray::fromHex("018315"))
        std::abort();
    return 0;
}

MAINT_FUZZ_RANDOM_MAIN(QByteArray("nak:"), QByteArray("raw:"), QByteArray("error:0x"),
                       QByteArray("corrupt-crc:"), QByteArray("can-after:"),
                       QByteArray("eot-after:"), QByteArray("drop-next"), QByteArray("delay:"),
                       QByteArray("chunk:"), QByteArray("mac-write-delay:"), QByteArray())
