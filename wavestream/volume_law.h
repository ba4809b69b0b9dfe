// Script volumes (percent) to buffer attenuations (hundredths of a decibel) and back:
// each halving of the percentage lowers the level by 10 dB.
#pragma once

#include <plat/wintypes.h>

namespace wavestream {

// 1 % or less is silence (-10000); fractions of a percent count.
LONG attenuationFromPercent(double percent);
// Rounded to the nearest percent; -10000 reads as 0.
int percentFromAttenuation(LONG attenuation);

}  // namespace wavestream
