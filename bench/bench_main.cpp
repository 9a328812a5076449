// Runs every benchmark, then prints each dessec call's median time beside its
// peer's, and their ratio against the target.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct pairing {
    const char *service;
    const char *ours;
    const char *peer;  // empty when there is none
    double target;     // largest acceptable ratio of our time to the peer's
};

const pairing pairings[] = {
    {"cbc_crypt, 8 KiB", "BM_dessec_cbc_crypt", "BM_openssl_DES_ncbc_encrypt", 1.05},
    {"ecb_crypt, 8 KiB", "BM_dessec_ecb_crypt", "BM_openssl_DES_ecb_encrypt", 1.05},
    {"passwd_crypt \"ab\"", "BM_dessec_passwd_crypt_traditional", "BM_crypt_r_traditional", 0.8},
    {"passwd_crypt \"_J9..CCCC\"", "BM_dessec_passwd_crypt_extended", "BM_crypt_r_extended", 0.8},
    {"passwd_verify \"$1$\"", "BM_dessec_passwd_verify_md5", "BM_crypt_r_md5_and_strcmp", 0.9},
    {"dh, public key", "BM_dessec_dh_public_key", "BM_openssl_BN_mod_exp_dh_public_key", 1.0},
    {"dh, common key", "BM_dessec_dh_common_key", "BM_openssl_BN_mod_exp_dh_common_key", 1.0},
    {"dh, public key vs powm_sec", "BM_dessec_dh_public_key", "BM_gmp_mpz_powm_sec_dh_public_key", 0.4},
    {"dh, public key vs powm", "BM_dessec_dh_public_key", "BM_gmp_mpz_powm_dh_public_key", 1.0},
    {"dh, common key vs powm_sec", "BM_dessec_dh_common_key", "BM_gmp_mpz_powm_sec_dh_common_key", 0.8},
    {"dh, common key vs powm", "BM_dessec_dh_common_key", "BM_gmp_mpz_powm_dh_common_key", 1.0},
    {"xencrypt, 64 digits", "BM_dessec_xencrypt_record", "", 0.0},
};

// Keeps the median of each benchmark (or its single run), in nanoseconds.
class median_collector : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> median_ns;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const auto &run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median)
                continue;
            auto &slot = median_ns[run.run_name.function_name];
            if (median || slot == 0.0)
                slot = run.GetAdjustedRealTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

bool has_option(int argc, char **argv, const char *prefix)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix, std::strlen(prefix)) == 0)
            return true;
    }
    return false;
}

void print_ratios(const std::map<std::string, double> &median_ns)
{
    std::printf("\n%-28s %14s %14s %8s %8s\n", "service", "dessec (ns)", "peer (ns)", "ratio", "target");
    for (const auto &p : pairings) {
        const auto ours = median_ns.find(p.ours);
        if (ours == median_ns.end())
            continue;
        const auto peer = median_ns.find(p.peer);
        if (peer == median_ns.end()) {
            std::printf("%-28s %14.0f %14s\n", p.service, ours->second, "-");
            continue;
        }
        const double ratio = ours->second / peer->second;
        std::printf("%-28s %14.0f %14.0f %8.2f %8.2f %s\n", p.service, ours->second, peer->second, ratio, p.target,
                    ratio <= p.target ? "met" : "MISSED");
    }
}

}  // namespace

int main(int argc, char **argv)
{
    // Medians over repetitions, unless the caller chose otherwise.
    std::vector<char *> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=9";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    if (!has_option(argc, argv, "--benchmark_repetitions")) {
        args.push_back(repetitions);
        args.push_back(aggregates);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    median_collector reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    print_ratios(reporter.median_ns);
    return 0;
}
