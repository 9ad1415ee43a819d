// The statistics table in the interface language: its headers, and the limits of a
// quantity as the columns of time spent past them.
#pragma once

#include "chart/statistics.h"
#include "limits/limits.h"

#include <vector>

namespace hmx {

chart::StatisticsTexts StatisticsHeaders();

// One per limit set, from the upper alarm limit down to the lower one.
std::vector<chart::StatisticsLimit> StatisticsLimits(const limits::Limits& limits);

} // namespace hmx
