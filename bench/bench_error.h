// The one exception class of the benchmark: a fault of the benchmark's own making or of a tool it
// runs (a bad archive, a wrong extraction, a missing folder), reported with its message and fatal.
#pragma once

#include <stdexcept>
#include <string>

namespace zelkupd::bench {

class EBenchError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace zelkupd::bench
