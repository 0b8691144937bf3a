// The summaries the benchmark prints: medians and minimums of repeated timings.
#pragma once

#include <vector>

namespace zelkupd::bench {

// The middle value; the mean of the two middle ones for an even count; 0 for none.
double Median(std::vector<double> values);
double Minimum(const std::vector<double>& values);

}  // namespace zelkupd::bench
