// The statistics table in the interface language: its headers, and the limits of a
// quantity as the columns of time spent past them.
#pragma once

#include "limits/limits.h"
#include "readings/statistics.h"
#include "report/language.h"

#include <vector>

namespace hmx {

readings::StatisticsTexts StatisticsHeaders(Language language);

// One per limit set, from the upper alarm limit down to the lower one.
std::vector<readings::StatisticsLimit> StatisticsLimits(const limits::Limits& limits, Language language);

} // namespace hmx
