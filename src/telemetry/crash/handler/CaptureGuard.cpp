#include "telemetry/crash/handler/CaptureGuard.h"

namespace murmelo::crash {

sigjmp_buf g_guard;
volatile sig_atomic_t g_guardArmed = 0;

namespace {
int g_guardFaults = 0;
constexpr int kMaxGuardFaults = 32;
} // namespace

void abandonGuardedStep()
{
    if (g_guardArmed && ++g_guardFaults < kMaxGuardFaults) {
        g_guardArmed = 0;
        siglongjmp(g_guard, 1);
    }
}

} // namespace murmelo::crash
