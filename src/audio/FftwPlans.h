#pragma once

#include <mutex>

namespace murmelo {

// FFTW's planner keeps global state: plans are made and destroyed under this one lock, while
// executing a plan is safe from any thread.
std::mutex &fftwPlannerLock();

} // namespace murmelo
