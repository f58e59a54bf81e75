#include "MountFixture.h"

#include "core/host/FuseAvailability.h"
#include "core/host/MountTable.h"
#include "core/host/Process.h"

#include <cerrno>
#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace kestrava::mount::test {
namespace {

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::string readProcFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

void MountFixture::SetUp()
{
    if (!host::isFuseUsable()) {
        GTEST_SKIP() << "FUSE is unusable here (/dev/fuse cannot be opened or fusermount3 is missing): "
                        "real-mount tests skipped";
    }
    const auto runtime = m_dir / "runtime";
    std::filesystem::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    m_home.emplace("HOME", (m_dir / "home").string());
    m_runtime.emplace("XDG_RUNTIME_DIR", runtime.string());
    m_configHome.emplace("XDG_CONFIG_HOME", (m_dir / "home" / ".config").string());
    m_stateHome.emplace("XDG_STATE_HOME", (m_dir / "home" / ".state").string());
    std::filesystem::create_directories(m_dir / "home");
    m_back = m_dir / "back";
    m_root = m_dir / "drives";
    m_mnt = m_root / "K";
    m_active = true;
}

void MountFixture::TearDown()
{
    if (!m_active) {
        return;
    }
    // Unmount whatever is left, from outside, and make sure no serving process survives.
    for (int attempt = 0; attempt < 30 && isMounted(); ++attempt) {
        if (host::runProgram({"fusermount3", "-u", m_mnt.string()}).exitCode != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }
    if (isMounted()) {
        ADD_FAILURE() << "the drive could not be unmounted normally";
        host::runProgram({"fusermount3", "-u", "-z", m_mnt.string()});
    }
    serversEnded();
    for (const pid_t pid : serverPids()) {
        ADD_FAILURE() << "serving process " << pid << " outlived its drive";
        ::kill(pid, SIGKILL);
    }
}

Shell MountFixture::sh(const std::string& script, int timeoutSeconds)
{
    const std::string prologue =
        "set -e\nK=" +
        quoted(std::string(KESTRAVA_CLI) + " --config " + (m_dir / "settings.xml").string() +
               " --mount-root " + m_root.string()) +
        "\nM=" + quoted(m_mnt.string()) + "\nB=" + quoted(m_back.string()) + "\nT=" + quoted(dir().string()) +
        "\n";
    const host::RunResult result =
        host::runProgram({"bash", "-c", prologue + script}, std::chrono::seconds(timeoutSeconds));
    return {result.exitCode, result.output};
}

Shell MountFixture::cli(const std::string& arguments, const std::string& input)
{
    return sh("printf '%s' " + quoted(input) + " | $K " + arguments);
}

void MountFixture::createDrive(bool mount, const std::string& options)
{
    const std::string password = std::string(kPassword) + "\n";
    const Shell run =
        cli("--password-stdin --yes create \"$B\" --letter K: --label 'Test Drive'" +
                std::string(mount ? "" : " --no-mount") + (options.empty() ? "" : " " + options),
            password + password);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(isMounted(), mount) << run.output;
}

bool MountFixture::isMounted() const
{
    const auto entry = host::findMount(host::readMountTable(), m_mnt);
    return entry && entry->fsType == host::kDriveFsType;
}

bool MountFixture::serversEnded() const
{
    for (int waited = 0; waited < 15000; waited += 50) {
        if (serverPids().empty()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return serverPids().empty();
}

std::vector<pid_t> MountFixture::serverPids() const
{
    std::vector<pid_t> pids;
    const std::string marker = "--mount-point=" + m_mnt.string();
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::string cmdline = readProcFile(entry.path() / "cmdline");
        for (char& c : cmdline) {
            c = c == '\0' ? '\n' : c;
        }
        if (cmdline.find("\n" + marker + "\n") != std::string::npos &&
            readProcFile(entry.path() / "stat").find(") Z") == std::string::npos) {
            pids.push_back(static_cast<pid_t>(std::stol(name)));
        }
    }
    return pids;
}

bool MountFixture::processAlive(pid_t pid)
{
    const std::string stat = readProcFile("/proc/" + std::to_string(pid) + "/stat");
    return !stat.empty() && stat.find(") Z") == std::string::npos;
}

void MountFixture::requirePrograms(const std::vector<std::string>& programs)
{
    for (const std::string& program : programs) {
        if (!host::findOnPath(program)) {
            GTEST_SKIP() << program << " is not installed (scripts/install-deps.sh installs it)";
        }
    }
}

} // namespace kestrava::mount::test
