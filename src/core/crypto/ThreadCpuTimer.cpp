#include "core/crypto/ThreadCpuTimer.h"

#include <cryptopp/hrtimer.h>

namespace kestrava::crypto {

struct ThreadCpuTimer::Impl
{
    CryptoPP::ThreadUserTimer timer;
};

ThreadCpuTimer::ThreadCpuTimer() : m_impl(std::make_unique<Impl>())
{
    m_impl->timer.StartTimer();
}

ThreadCpuTimer::~ThreadCpuTimer() = default;

double ThreadCpuTimer::elapsedSeconds()
{
    return m_impl->timer.ElapsedTimeAsDouble();
}

} // namespace kestrava::crypto
