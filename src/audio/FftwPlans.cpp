#include "audio/FftwPlans.h"

namespace murmelo {

std::mutex &fftwPlannerLock()
{
    static std::mutex lock;
    return lock;
}

} // namespace murmelo
