// bench-measure: runs one command and reports, as key=value lines, its wall
// time, the CPU of its whole process tree, its peak resident set, and the
// CPU that watched processes outside the tree (the simulated modem, the
// wineserver, a Wine prefix's services) used meanwhile.
//
//   bench-measure --out FILE [--stdout FILE] [--stderr FILE] [--timeout-ms N]
//                 [--watch NAME=PID]... [--watch-env NAME=VALUE] -- COMMAND...
#include <sys/prctl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "child_run.h"
#include "cpu_watch.h"

namespace {

using benchmeasure::ChildRun;
using benchmeasure::ChildUsage;
using benchmeasure::CpuWatch;

int usage(const char* why) {
  std::fprintf(stderr,
               "bench-measure: %s\nusage: bench-measure --out FILE [--stdout FILE] "
               "[--stderr FILE] [--timeout-ms N] [--watch NAME=PID]... "
               "[--watch-env NAME=VALUE] -- COMMAND...\n",
               why);
  return 2;
}

bool parse(int argc, char** argv, ChildRun* run, CpuWatch* watch, std::string* out) {
  int i = 1;
  for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    if (option == "--out") {
      *out = value;
    } else if (option == "--stdout") {
      run->stdoutPath = value;
    } else if (option == "--stderr") {
      run->stderrPath = value;
    } else if (option == "--timeout-ms") {
      run->timeoutMs = std::atoi(value.c_str());
    } else if (option == "--watch" && value.find('=') != std::string::npos) {
      const std::string::size_type equals = value.find('=');
      watch->watchProcess(value.substr(0, equals), std::atoi(value.c_str() + equals + 1));
    } else if (option == "--watch-env") {
      watch->watchEnvironment(value);
    } else {
      return false;
    }
  }
  for (++i; i < argc; ++i) run->argv.push_back(argv[i]);
  return !out->empty() && !run->argv.empty() && run->timeoutMs > 0;
}

void report(std::ostream& out, const ChildUsage& used, const CpuWatch& watch) {
  out << "wall_s=" << used.wallSeconds << "\n"
      << "user_s=" << used.userSeconds << "\n"
      << "sys_s=" << used.systemSeconds << "\n"
      << "cpu_s=" << used.userSeconds + used.systemSeconds << "\n"
      << "maxrss_kib=" << used.maxRssKib << "\n"
      << "hwm_kib=" << used.sampledHwmKib << "\n"
      << "exit=" << used.exitCode << "\n"
      << "signal=" << used.termSignal << "\n"
      << "timed_out=" << (used.timedOut ? 1 : 0) << "\n";
  for (const CpuWatch::Delta& delta : watch.namedDeltas()) {
    out << "watch_" << delta.name << "_cpu_s=" << (delta.seen ? delta.seconds : -1) << "\n";
  }
  if (watch.watchesEnvironment()) {
    out << "env_cpu_s=" << watch.environmentSeconds() << "\n"
        << "env_processes=" << watch.environmentProcesses() << "\n"
        << "env_vanished=" << watch.environmentVanished() << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  ChildRun run;
  CpuWatch watch;
  std::string outPath;
  if (!parse(argc, argv, &run, &watch, &outPath)) return usage("bad arguments");
  // Descendants that outlive their parents come to us, so that their CPU is
  // counted with the tree's when they end.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  ChildUsage used;
  std::string error;
  watch.start();
  const bool ran = runChild(run, &used, &error);
  watch.stop();
  if (!ran) {
    std::fprintf(stderr, "bench-measure: %s\n", error.c_str());
    return 1;
  }
  std::ofstream out(outPath, std::ios::trunc);
  out.precision(6);
  out << std::fixed;
  report(out, used, watch);
  if (!out) {
    std::fprintf(stderr, "bench-measure: cannot write %s\n", outPath.c_str());
    return 1;
  }
  return 0;
}
