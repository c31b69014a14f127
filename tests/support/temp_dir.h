#pragma once

#include <string>

namespace tarnwick::testing {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes out of scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // Writes `bytes` to the file `name` in the directory; returns its path.
  std::string writeFile(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

// The whole content of a file; empty when it cannot be read.
std::string readFile(const std::string& path);

// `size` bytes of a repeatable pseudo-random pattern.
std::string patternBytes(std::size_t size, unsigned seed = 1);

}  // namespace tarnwick::testing
