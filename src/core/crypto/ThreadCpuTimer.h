// Measures the user-mode processor time of the calling thread (the key-derivation time bound).
#pragma once

#include <memory>

namespace kestrava::crypto {

class ThreadCpuTimer
{
public:
    ThreadCpuTimer(); // starts at once
    ~ThreadCpuTimer();
    ThreadCpuTimer(const ThreadCpuTimer&) = delete;
    ThreadCpuTimer& operator=(const ThreadCpuTimer&) = delete;

    double elapsedSeconds();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace kestrava::crypto
