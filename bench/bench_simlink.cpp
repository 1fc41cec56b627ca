// A 1 MiB firmware image sent block by block through the simulator's
// pseudo-terminal by a minimal sender on the tool's serial port manager,
// waiting in the event loop for each ACK. Unpaced, it reports blocks per
// second; paced at 230400 baud, the measured time against the line time of
// the bytes that crossed the link (both directions, 10 bits per byte), with
// the deviation, which must stay within 2 %. Run:
//   build/bench/bench_simlink

#include "crypto/credential.h"
#include "protocol/frame.h"
#include "serial/handleserialport.h"
#include "simulator/modulemodel.h"
#include "simulator/ptylink.h"
#include "transfer/transferframes.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QtGlobal>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace
{

constexpr int IMAGE_SIZE = 1024 * 1024;
constexpr int PACED_BAUD = 230400;
constexpr double ALLOWED_DEVIATION = 0.02;

QByteArray firmwareImage()
{
    QByteArray image(IMAGE_SIZE, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char((i * 131 + i / 4096) & 0xFF);
    return image;
}

// The tool's side: writes one frame and sleeps in the event loop until
// `want` reply bytes have arrived (or the time limit passes).
class Sender
{
public:
    explicit Sender(const QString &path)
    {
        ready = port.openPort(path) && port.setBaudRate(QStringLiteral("230400"));
        QObject::connect(&port, &HandleSerialPort::readyReadString,
                         [this](const QByteArray &bytes, int) {
                             reply += bytes;
                             loop.quit();
                         });
    }

    QByteArray exchange(const QByteArray &frame, int want = 1, int timeoutMs = 5000)
    {
        reply.clear();
        port.writeBytes(frame);
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        limit.start(timeoutMs);
        while (reply.size() < want && limit.isActive())
            loop.exec();
        return reply;
    }

    HandleSerialPort port;
    bool ready = false;

private:
    QEventLoop loop;
    QByteArray reply;
};

// A module with an open session (logged in with a configured password) on
// a fresh link.
struct Bench {
    Bench() : model(config()), link(&model), sender(link.slavePath())
    {
        model.setLoginPassword(QStringLiteral("Bench_pass_1"));
    }
    static ModuleConfig config()
    {
        ModuleConfig made;
        made.softwareVersion = 124; // AES-only login: no key derivation in the way
        made.loginPassword = QStringLiteral("Bench_pass_1");
        return made;
    }
    bool login()
    {
        const QByteArray request = buildSessionWriteRequest(
            SessionRequest::Login,
            credentialRequestData(QStringLiteral("admin"), QStringLiteral("Bench_pass_1"),
                                  CredentialScheme::AesOnly));
        return sender.ready && sender.exchange(request, 8).size() == 8 && model.sessionOpen();
    }
    ModuleModel model;
    PtyLink link;
    Sender sender;
};

// Start loading, every block, EOT. False on any refusal.
bool upgrade(Sender &sender, const QByteArray &image, const QList<QByteArray> &blocks)
{
    const QByteArray start = buildStartLoadingRequest("fw.bin", quint32(image.size()),
                                                      digestHex(image, QCryptographicHash::Sha1));
    if (sender.exchange(start) != QByteArray(1, Transfer::READY))
        return false;
    for (const QByteArray &block : blocks) {
        if (sender.exchange(block) != QByteArray(1, Transfer::ACK))
            return false;
    }
    return sender.exchange(QByteArray(1, Transfer::EOT), 1, 20000) == QByteArray(1, Transfer::ACK);
}

void BM_UpgradeFullSpeed(benchmark::State &state)
{
    const QByteArray image = firmwareImage();
    const QList<QByteArray> blocks = cutIntoBlocks(image);
    Bench bench;
    if (!bench.login()) {
        state.SkipWithError("login failed");
        return;
    }
    for (auto _ : state) {
        if (!upgrade(bench.sender, image, blocks)) {
            state.SkipWithError("upgrade refused");
            return;
        }
    }
    state.counters["blocks_per_s"] =
        benchmark::Counter(double(blocks.size()), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes_per_s"] =
        benchmark::Counter(double(image.size()), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_UpgradePaced230400(benchmark::State &state)
{
    const QByteArray image = firmwareImage();
    const QList<QByteArray> blocks = cutIntoBlocks(image);
    Bench bench;
    if (!bench.login()) {
        state.SkipWithError("login failed");
        return;
    }
    bench.link.setLineRate(PACED_BAUD);
    double worst = 0;
    for (auto _ : state) {
        const qint64 wireBefore = bench.link.wireBytes();
        QElapsedTimer clock;
        clock.start();
        if (!upgrade(bench.sender, image, blocks)) {
            state.SkipWithError("upgrade refused");
            return;
        }
        const double measured = clock.nsecsElapsed() / 1e9;
        const qint64 wire = bench.link.wireBytes() - wireBefore;
        const double bound = wire / (PACED_BAUD / 10.0);
        const double deviation = (measured - bound) / bound;
        std::printf("paced upgrade: %lld wire bytes, measured %.3f s, line time %.3f s, "
                    "deviation %+.2f %%\n",
                    static_cast<long long>(wire), measured, bound, 100 * deviation);
        std::fflush(stdout);
        worst = qMax(worst, qAbs(deviation));
        state.counters["measured_s"] = measured;
        state.counters["line_time_s"] = bound;
        state.counters["deviation_pct"] = 100 * deviation;
    }
    if (worst > ALLOWED_DEVIATION)
        state.SkipWithError("paced time deviates more than 2 % from the line time");
}

} // namespace

BENCHMARK(BM_UpgradeFullSpeed)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_UpgradePaced230400)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
