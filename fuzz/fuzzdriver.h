#pragma once

// Shared by every fuzz target. With clang's libFuzzer (MAINT_FUZZ_LIBFUZZER)
// a target is only its LLVMFuzzerTestOneInput. Without it,
// MAINT_FUZZ_RANDOM_MAIN gives the target a main() that CTest runs:
//   fuzz_<name> [runs] [corpus directory]
// It first replays every file of the corpus directory (the committed seeds
// and the inputs of faults found earlier), then feeds `runs` random inputs,
// each one of the given prefixes followed by up to 200 random bytes, half
// of them closed by a CRC so that they get past the first checks.

#include "protocol/frame.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace FuzzDriver
{

inline void runOne(const QByteArray &input)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.constData()),
                           size_t(input.size()));
}

inline int replayCorpus(const QString &path)
{
    const QDir dir(path);
    int replayed = 0;
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly)) {
            runOne(file.readAll());
            ++replayed;
        }
    }
    return replayed;
}

inline int runRandomInputs(int argc, char *argv[], const std::vector<QByteArray> &prefixes)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int replayed = argc > 2 ? replayCorpus(QString::fromLocal8Bit(argv[2])) : 0;
    std::mt19937 random(20261208);
    for (int run = 0; run < runs; ++run) {
        QByteArray input = prefixes[random() % prefixes.size()];
        const int length = int(random() % 200);
        for (int i = 0; i < length; ++i)
            input.append(char(random() & 0xFF));
        if (random() % 2)
            appendCrc(input);
        runOne(input);
    }
    std::printf("%d corpus inputs, %d random inputs: no fault\n", replayed, runs);
    return 0;
}

} // namespace FuzzDriver

#ifdef MAINT_FUZZ_LIBFUZZER
#define MAINT_FUZZ_RANDOM_MAIN(...)
#else
#define MAINT_FUZZ_RANDOM_MAIN(...)                                                                \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        return FuzzDriver::runRandomInputs(argc, argv, {__VA_ARGS__});                             \
    }
#endif
