#include "volume_law.h"

#include <plat/dsound.h>

#include <algorithm>
#include <cmath>

namespace wavestream {

LONG attenuationFromPercent(double percent) {
    const double f = std::clamp(percent, 0.0, 100.0) * 0.01;
    if (f <= 0.01) return DSBVOLUME_MIN;
    const double hundredths = 10.0 * std::log(f) / std::log(2.0) * 100.0;
    return static_cast<LONG>(
        std::floor(std::clamp(hundredths, double(DSBVOLUME_MIN), double(DSBVOLUME_MAX))));
}

int percentFromAttenuation(LONG attenuation) {
    if (attenuation < DSBVOLUME_MIN + 1) return 0;
    return static_cast<int>(std::floor(100.0 * std::exp2(attenuation / 1000.0) + 0.5));
}

}  // namespace wavestream
