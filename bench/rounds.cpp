// Times commands in interleaved rounds for bench/run: each round runs every
// command once, in turn, so a machine whose load changes during the benchmark
// slows all of them alike. A command's output goes to /dev/null. Prints one
// line per command, tab-separated: its number (from 0), the medians of its
// wall time and of its CPU time (user + system, its children included) in
// milliseconds, then the medians over the rounds of its wall and CPU times
// divided by those of command 0 in the same round.
//
//   vessiltane_bench_rounds ROUNDS WARMUP [--cpu N] -- COMMAND... [-- COMMAND...]...
//
// With --cpu N every command runs on processor N alone. The warm-up rounds
// are run first and not printed. A command that fails ends the benchmark.
#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double ms(const timeval& t) { return double(t.tv_sec) * 1000.0 + double(t.tv_usec) / 1000.0; }

double now() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

// Runs the command and returns its wall and CPU milliseconds.
bool run(const std::vector<char*>& command, int cpu, double* wall, double* cpuMs) {
    const double start = now();
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        if (cpu >= 0) {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(cpu, &one);
            if (::sched_setaffinity(0, sizeof one, &one) != 0) ::_exit(126);
        }
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) ::dup2(null, STDOUT_FILENO);
        ::execvp(command[0], command.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid) return false;
    *wall = now() - start;
    *cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "vessiltane_bench_rounds: %s failed (status %d)\n", command[0], status);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: vessiltane_bench_rounds ROUNDS WARMUP [--cpu N] -- COMMAND... [-- COMMAND...]...\n");
        return 2;
    }
    const int rounds = std::atoi(argv[1]);
    const int warmup = std::atoi(argv[2]);
    int cpu = -1;
    int at = 3;
    if (std::strcmp(argv[at], "--cpu") == 0 && at + 1 < argc) {
        cpu = std::atoi(argv[at + 1]);
        at += 2;
    }
    std::vector<std::vector<char*>> commands;
    for (; at < argc; ++at) {
        if (std::strcmp(argv[at], "--") == 0) {
            commands.emplace_back();
            continue;
        }
        if (commands.empty()) {
            std::fprintf(stderr, "vessiltane_bench_rounds: a command starts after --\n");
            return 2;
        }
        commands.back().push_back(argv[at]);
    }
    for (auto& command : commands) {
        if (command.empty()) {
            std::fprintf(stderr, "vessiltane_bench_rounds: an empty command\n");
            return 2;
        }
        command.push_back(nullptr);
    }
    const size_t n = commands.size();
    std::vector<std::vector<double>> walls(n), cpus(n), wallRatios(n), cpuRatios(n);
    for (int round = -warmup; round < rounds; ++round) {
        std::vector<double> wall(n), cpuMs(n);
        for (size_t c = 0; c < n; ++c)
            if (!run(commands[c], cpu, &wall[c], &cpuMs[c])) return 1;
        if (round < 0) continue;
        for (size_t c = 0; c < n; ++c) {
            walls[c].push_back(wall[c]);
            cpus[c].push_back(cpuMs[c]);
            wallRatios[c].push_back(wall[c] / std::max(wall[0], 1e-3));
            cpuRatios[c].push_back(cpuMs[c] / std::max(cpuMs[0], 1e-3));
        }
    }
    for (size_t c = 0; c < n; ++c)
        std::printf("%zu\t%.3f\t%.3f\t%.4f\t%.4f\n", c, median(walls[c]), median(cpus[c]), median(wallRatios[c]),
                    median(cpuRatios[c]));
    return 0;
}
