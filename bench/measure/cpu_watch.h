#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace benchmeasure {

// CPU used during a run by processes outside the measured tree: named
// processes (the simulated modem, the wineserver) and every process whose
// environment holds a given entry (all processes of one Wine prefix).
class CpuWatch {
 public:
  void watchProcess(const std::string& name, pid_t pid) { named_[name] = Sample{pid, 0, false}; }
  void watchEnvironment(const std::string& entry) { environmentEntry_ = entry; }

  void start();
  void stop();

  struct Delta {
    std::string name;
    double seconds = 0;
    bool seen = false;  // false when the process could not be read at both ends
  };
  std::vector<Delta> namedDeltas() const { return namedDeltas_; }

  // The environment group: CPU of its members over the run (those that
  // appeared during it count from zero), how many were seen at the end, and
  // how many vanished during the run (their last share cannot be known).
  double environmentSeconds() const { return environmentSeconds_; }
  int environmentProcesses() const { return environmentProcesses_; }
  int environmentVanished() const { return environmentVanished_; }
  bool watchesEnvironment() const { return !environmentEntry_.empty(); }

 private:
  struct Sample {
    pid_t pid;
    unsigned long long ticks;
    bool ok;
  };

  std::map<std::string, Sample> named_;
  std::string environmentEntry_;
  std::map<pid_t, unsigned long long> environmentStart_;
  std::vector<Delta> namedDeltas_;
  double environmentSeconds_ = 0;
  int environmentProcesses_ = 0;
  int environmentVanished_ = 0;
};

}  // namespace benchmeasure
