// The credential derivation against OpenSSL's own PBKDF2 on the same input: a 64-byte block,
// the firmware's 32-byte salt, 10000 iterations, 64 bytes of SHA-256 output. A login runs two
// derivations on the GUI thread, so ours must not be slower. Ends with the line
// "ratio ours/openssl: <fastest run of ours / fastest run of OpenSSL>".

#include "crypto/credential.h"
#include "crypto/pbkdf2.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <map>
#include <string>

namespace
{

struct KdfInput {
    unsigned char block[64];
    QByteArray salt;
};

const KdfInput &kdfInput()
{
    static const KdfInput input = [] {
        KdfInput made{};
        for (int i = 0; i < 64; ++i)
            made.block[i] = static_cast<unsigned char>(i * 37 + 11);
        made.salt = credentialSalt();
        return made;
    }();
    return input;
}

const unsigned char *saltBytes()
{
    return reinterpret_cast<const unsigned char *>(kdfInput().salt.constData());
}

void BM_Ours(benchmark::State &state)
{
    const KdfInput &input = kdfInput();
    unsigned char output[64];
    for (auto _ : state) {
        pbkdf2HmacSha256(input.block, saltBytes(), input.salt.size(), CREDENTIAL_KDF_ITERATIONS,
                         CREDENTIAL_KEY_LENGTH, output, EVP_sha256());
        benchmark::DoNotOptimize(output);
    }
}

void BM_OpenSsl(benchmark::State &state)
{
    const KdfInput &input = kdfInput();
    unsigned char output[64];
    for (auto _ : state) {
        PKCS5_PBKDF2_HMAC(reinterpret_cast<const char *>(input.block), 64, saltBytes(),
                          input.salt.size(), CREDENTIAL_KDF_ITERATIONS, EVP_sha256(),
                          CREDENTIAL_KEY_LENGTH, output);
        benchmark::DoNotOptimize(output);
    }
}

BENCHMARK(BM_Ours)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(BM_OpenSsl)->Unit(benchmark::kMillisecond)->Repetitions(5);

// Keeps the fastest repetition of each benchmark (the least disturbed by other work on the
// machine) while printing as usual.
class FastestRunReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration)
                continue;
            const std::string name = run.run_name.function_name;
            const double time = run.GetAdjustedRealTime();
            auto known = m_fastest.find(name);
            if (known == m_fastest.end() || time < known->second)
                m_fastest[name] = time;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    double fastest(const std::string &name) const
    {
        const auto known = m_fastest.find(name);
        return known == m_fastest.end() ? 0.0 : known->second;
    }

private:
    std::map<std::string, double> m_fastest;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    FastestRunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double ours = reporter.fastest("BM_Ours");
    const double openSsl = reporter.fastest("BM_OpenSsl");
    if (ours > 0 && openSsl > 0) {
        std::printf("fastest ours: %.2f ms, fastest openssl: %.2f ms\n", ours, openSsl);
        std::printf("ratio ours/openssl: %.2f\n", ours / openSsl);
    }
    return 0;
}
