// Costs of the two drive formats on this machine: the hardened format's key derivation
// (scrypt with the parameters new tokens get) and the handlers' write and read speed of both
// formats over a backing folder.
//
//   kestrava_format_bench [backing-parent-folder]     (default: the system's temporary folder)
#include "core/crypto/Kdf.h"
#include "core/fs/DriveFs.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <time.h>
#include <unistd.h>
#include <vector>

using namespace kestrava;

namespace {

constexpr std::size_t kMiB = 1 << 20;
constexpr std::size_t kFileBytes = 128 * kMiB;

double threadSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double wallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void keyDerivation()
{
    const crypto::ScryptParams params;
    const std::string password(64, 'A');
    const crypto::SecureBytes salt(32, 1);
    for (int run = 0; run < 3; ++run) {
        const double wall = wallSeconds();
        const double cpu = threadSeconds();
        crypto::scrypt(crypto::asBytes(password), salt, params, 32);
        std::printf("scrypt N=%llu r=%u p=%u: %.3f s processor time, %.3f s wall\n",
                    static_cast<unsigned long long>(params.cost), params.blockSize, params.parallel,
                    threadSeconds() - cpu, wallSeconds() - wall);
    }
}

void throughput(token::DriveFormat format, const std::filesystem::path& parent)
{
    const std::filesystem::path backing = parent / ("kestrava-format-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(backing);
    const std::vector<crypto::Byte> key(32, 9);
    fs::FsOptions options;
    options.format = format;
    std::vector<char> buffer(kMiB, 'b');
    double writeCpu = 0;
    double readCpu = 0;
    {
        fs::DriveFs drive(key, options, backing);
        std::uint64_t h = 0;
        if (drive.create("/big", 0644, O_RDWR, &h) != 0) {
            std::printf("cannot create a file in %s\n", backing.c_str());
            return;
        }
        double cpu = threadSeconds();
        for (std::size_t at = 0; at < kFileBytes; at += kMiB) {
            drive.write(h, buffer.data(), kMiB, static_cast<off_t>(at));
        }
        writeCpu = threadSeconds() - cpu;
        cpu = threadSeconds();
        for (std::size_t at = 0; at < kFileBytes; at += kMiB) {
            drive.read(h, buffer.data(), kMiB, static_cast<off_t>(at));
        }
        readCpu = threadSeconds() - cpu;
        drive.release(h);
    }
    std::filesystem::remove_all(backing);
    const double mb = static_cast<double>(kFileBytes) / 1e6;
    std::printf("%-10s write %7.1f MB/s, read %7.1f MB/s (processor time of the handlers)\n",
                format == token::DriveFormat::Hardened ? "hardened" : "compatible", mb / writeCpu,
                mb / readCpu);
}

} // namespace

int main(int argc, char** argv)
{
    const std::filesystem::path parent = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    keyDerivation();
    throughput(token::DriveFormat::Compatible, parent);
    throughput(token::DriveFormat::Hardened, parent);
    return 0;
}
