// bench-timer: runs a program and its floors in turn and reports the
// medians of their wall-clock times, the medians of the program's time
// over each floor's time of the same repetition, and the peak resident
// memory of each.
//
//   bench-timer [--reps N] [--cwd DIR] [--status N] -- PROGRAM [ARG...]
//               [-- FLOOR [ARG...]]...
//
// Every repetition runs each command once, starting with a different one
// from one repetition to the next, so that machine noise hits all alike;
// one untimed run of each comes first.  A run's time is from fork to the
// end of wait4, its memory the child's ru_maxrss; its processor time (user
// and system, from the same rusage) is reported too, as it suffers less
// from a busy machine.  All start in DIR with stdin and stdout on
// /dev/null; stderr is left alone.  PROGRAM must end with the status given
// (default 0) and every floor with 0, otherwise the measurement is refused.
//
// Prints one line of name=value pairs: program_ms, program_cpu_ms,
// program_rss_kb, then for floor n (from 1) floorn_ms, floorn_cpu_ms,
// floorn_rss_kb, ration (median of program_ms / floorn_ms per repetition)
// and cpu_ration, and last reps.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Sample {
  double ms = 0;
  double cpu_ms = 0;
  long rss_kb = 0;
  int status = -1;  // exit status, or -1 when the child did not exit
};

struct Command {
  std::vector<char*> argv;  // null-terminated
  int status = 0;           // the status it must end with
  std::vector<Sample> samples;
};

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double Ms(const timeval& t) {
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
}

[[noreturn]] void Fail(const std::string& text) {
  std::fprintf(stderr, "bench-timer: %s\n", text.c_str());
  std::exit(2);
}

Sample RunOnce(const Command& command, const char* cwd) {
  Sample sample;
  double start = Now();
  pid_t child = fork();
  if (child < 0) Fail(std::string("fork: ") + std::strerror(errno));
  if (child == 0) {
    int null = open("/dev/null", O_RDWR);
    if (null < 0 || dup2(null, 0) < 0 || dup2(null, 1) < 0) _exit(126);
    if (cwd != nullptr && chdir(cwd) != 0) _exit(126);
    execv(command.argv[0], command.argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) Fail(std::string("wait4: ") + std::strerror(errno));
  sample.ms = Now() - start;
  sample.cpu_ms = Ms(usage.ru_utime) + Ms(usage.ru_stime);
  sample.rss_kb = usage.ru_maxrss;
  if (WIFEXITED(status)) sample.status = WEXITSTATUS(status);
  if (sample.status != command.status)
    Fail(std::string(command.argv[0]) + " ended with " + std::to_string(sample.status) +
         ", expected " + std::to_string(command.status));
  return sample;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

template <typename Field>
std::vector<double> Collect(const Command& command, Field field) {
  std::vector<double> values;
  for (const Sample& sample : command.samples) values.push_back(field(sample));
  return values;
}

long PeakRss(const Command& command) {
  long peak = 0;
  for (const Sample& sample : command.samples) peak = std::max(peak, sample.rss_kb);
  return peak;
}

int Usage() {
  std::fprintf(stderr,
               "usage: bench-timer [--reps N] [--cwd DIR] [--status N] -- PROGRAM [ARG...] "
               "[-- FLOOR [ARG...]]...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int reps = 11;
  int expected = 0;
  const char* cwd = nullptr;
  int i = 1;
  for (; i < argc && std::strcmp(argv[i], "--") != 0; i += 2) {
    if (i + 1 >= argc) return Usage();
    if (std::strcmp(argv[i], "--reps") == 0)
      reps = std::atoi(argv[i + 1]);
    else if (std::strcmp(argv[i], "--cwd") == 0)
      cwd = argv[i + 1];
    else if (std::strcmp(argv[i], "--status") == 0)
      expected = std::atoi(argv[i + 1]);
    else
      return Usage();
  }
  if (i >= argc || reps < 1) return Usage();

  std::vector<Command> commands;
  for (; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) {
      commands.emplace_back();
      continue;
    }
    commands.back().argv.push_back(argv[i]);
  }
  for (Command& command : commands) {
    if (command.argv.empty()) return Usage();
    command.argv.push_back(nullptr);
  }
  commands[0].status = expected;

  for (const Command& command : commands) RunOnce(command, cwd);  // untimed
  const size_t n = commands.size();
  for (int rep = 0; rep < reps; ++rep)
    for (size_t k = 0; k < n; ++k) {
      Command& command = commands[(rep + k) % n];
      command.samples.push_back(RunOnce(command, cwd));
    }

  const Command& program = commands[0];
  auto ms = [](const Sample& s) { return s.ms; };
  auto cpu = [](const Sample& s) { return s.cpu_ms; };
  std::printf("program_ms=%.3f program_cpu_ms=%.3f program_rss_kb=%ld", Median(Collect(program, ms)),
              Median(Collect(program, cpu)), PeakRss(program));
  for (size_t f = 1; f < n; ++f) {
    const Command& floor_run = commands[f];
    std::vector<double> ratios, cpu_ratios;
    for (int rep = 0; rep < reps; ++rep) {
      ratios.push_back(program.samples[rep].ms / floor_run.samples[rep].ms);
      cpu_ratios.push_back(program.samples[rep].cpu_ms /
                           std::max(floor_run.samples[rep].cpu_ms, 0.001));
    }
    std::printf(" floor%zu_ms=%.3f floor%zu_cpu_ms=%.3f floor%zu_rss_kb=%ld ratio%zu=%.3f cpu_ratio%zu=%.3f",
                f, Median(Collect(floor_run, ms)), f, Median(Collect(floor_run, cpu)), f,
                PeakRss(floor_run), f, Median(ratios), f, Median(cpu_ratios));
  }
  std::printf(" reps=%d\n", reps);
  return 0;
}
