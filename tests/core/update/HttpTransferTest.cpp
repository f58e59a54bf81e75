// The update check and the download against servers on this machine only: a loopback HTTP
// server, and for HTTPS an "openssl s_server" with a certificate made for the test.
#include "core/host/Process.h"
#include "core/update/InstallerDownload.h"
#include "core/update/UpdateCheck.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestSupport.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrava::update {
namespace {

using test::LoopbackHttpServer;
using test::TempDir;
using Response = LoopbackHttpServer::Response;

// Short waits: a silent server must end a check quickly in a test, not after half a minute.
HttpOptions quickOptions()
{
    HttpOptions options;
    options.connectTimeout = std::chrono::seconds(10);
    options.stallTimeout = std::chrono::seconds(1);
    options.totalTimeout = std::chrono::seconds(60);
    return options;
}

class UpdateCheckTest : public ::testing::Test
{
protected:
    CheckOutcome check(const std::string& ownVersion = "1.2.9.0")
    {
        HttpClient client(quickOptions());
        return checkForUpdate(client, m_server.baseUrl(), ownVersion);
    }

    LoopbackHttpServer m_server;
};

TEST_F(UpdateCheckTest, EachResultOfTheCheck)
{
    m_server.set("/update.txt", Response::text("1.2.10.0"));
    CheckOutcome outcome = check();
    EXPECT_EQ(outcome.result, CheckResult::UpdateAvailable);
    EXPECT_EQ(outcome.remoteVersion, "1.2.10.0");
    EXPECT_EQ(m_server.requests(), std::vector<std::string>{"/update.txt"});

    EXPECT_EQ(check("1.2.10.0").result, CheckResult::NotNewer);
    EXPECT_EQ(check("1.3").result, CheckResult::NotNewer);
    EXPECT_EQ(check("").result, CheckResult::NoOwnVersion);

    // A trailing line break, letters or five pieces: no update.
    for (const std::string text : {"1.3\n", "1.3b", "1.3.0.0.1"}) {
        m_server.set("/update.txt", Response::text(text));
        EXPECT_EQ(check().result, CheckResult::NotNewer) << text;
    }
    m_server.set("/update.txt", Response::text(""));
    EXPECT_EQ(check().result, CheckResult::EmptyVersionFile);

    m_server.set("/update.txt", Response::text("missing", 404));
    outcome = check();
    EXPECT_EQ(outcome.result, CheckResult::RequestFailed);
    EXPECT_EQ(outcome.http.error, HttpError::Status);
    EXPECT_EQ(outcome.http.status, 404);

    // No address built in: no connection, and nothing asked.
    HttpClient client(quickOptions());
    EXPECT_EQ(checkForUpdate(client, "", "1.0").result, CheckResult::NoConnection);
}

TEST_F(UpdateCheckTest, OnlyTheFirst4096BytesAreRead)
{
    m_server.set("/update.txt", Response::text("1.3" + std::string(10000, '0')));
    const CheckOutcome outcome = check();
    EXPECT_EQ(outcome.remoteVersion.size(), kVersionFileMaxBytes);
    // Without a Content-Length the text ends where the server closes.
    m_server.set("/update.txt", Response::withoutLength("2.0"));
    EXPECT_EQ(check().result, CheckResult::UpdateAvailable);
}

TEST_F(UpdateCheckTest, RedirectsToPlainHttpAreRefused)
{
    m_server.set("/update.txt", Response::redirect(m_server.baseUrl() + "real/update.txt"));
    m_server.set("/real/update.txt", Response::text("9.0"));
    const CheckOutcome outcome = check();
    EXPECT_EQ(outcome.result, CheckResult::RequestFailed);
    EXPECT_EQ(outcome.http.error, HttpError::Insecure);
    EXPECT_EQ(m_server.requests(), std::vector<std::string>{"/update.txt"});
}

TEST_F(UpdateCheckTest, ASilentServerOrACancelEndsTheRequest)
{
    m_server.set("/update.txt", Response::silent());
    CheckOutcome outcome = check();
    EXPECT_EQ(outcome.result, CheckResult::RequestFailed);
    EXPECT_EQ(outcome.http.error, HttpError::TimedOut);

    // A raised cancel flag ends even a transfer that would otherwise wait much longer.
    std::atomic<bool> cancel = true;
    HttpOptions options = quickOptions();
    options.stallTimeout = std::chrono::seconds(120);
    options.cancel = &cancel;
    HttpClient client(options);
    outcome = checkForUpdate(client, m_server.baseUrl(), "1.0");
    EXPECT_EQ(outcome.http.error, HttpError::Cancelled);
}

TEST_F(UpdateCheckTest, RefusedConnectionIsARequestFailure)
{
    std::string base;
    {
        LoopbackHttpServer gone;
        base = gone.baseUrl();
    }
    HttpClient client(quickOptions());
    const CheckOutcome outcome = checkForUpdate(client, base, "1.0");
    EXPECT_EQ(outcome.result, CheckResult::RequestFailed);
    EXPECT_EQ(outcome.http.error, HttpError::ConnectFailed);
}

class DownloadTest : public ::testing::Test
{
protected:
    DownloadOutcome download(HttpOptions options = quickOptions())
    {
        HttpClient client(options);
        return downloadInstaller(client, m_server.baseUrl(), "1.3", m_dir.path(),
                                 [this](const DownloadProgress& p) { m_progress.push_back(p); });
    }

    std::vector<std::optional<int>> percents() const
    {
        std::vector<std::optional<int>> values;
        for (const auto& p : m_progress) {
            values.push_back(p.percent());
        }
        return values;
    }

    LoopbackHttpServer m_server;
    TempDir m_dir;
    std::vector<DownloadProgress> m_progress;
    std::string m_body = std::string(4096 * 2 + 2048, 'x');
};

TEST_F(DownloadTest, PiecesOf4096BytesWithProgressBeforeEachWrite)
{
    m_server.set("/kestrava_1.3_setup.run", Response::text(m_body));
    m_server.set("/kestrava_1.3_setup.run.sig", Response::text("signature text\n"));
    const DownloadOutcome outcome = download();
    ASSERT_TRUE(outcome.ok) << describeDownloadFailure(outcome);
    EXPECT_EQ(outcome.file, m_dir / "kestrava_1.3_setup.run");
    EXPECT_EQ(test::readFile(outcome.file), m_body);
    EXPECT_EQ(test::readFile(m_dir / "kestrava_1.3_setup.run.sig"), "signature text\n");
    struct stat info
    {
    };
    ASSERT_EQ(::stat(outcome.file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    // Length known, then 0% 40% 80% before the three pieces, then 100% at the end. (A piece
    // can arrive split, which only adds steps in between.)
    ASSERT_GE(m_progress.size(), 5u);
    EXPECT_EQ(m_progress.front().total, m_body.size());
    EXPECT_EQ(percents().front(), 0);
    EXPECT_EQ(percents().back(), 100);
    EXPECT_EQ(m_progress.back().written, m_body.size());
    for (std::size_t i = 1; i < m_progress.size(); ++i) {
        EXPECT_LE(m_progress[i].written - m_progress[i - 1].written, kReadPieceBytes);
    }
}

TEST_F(DownloadTest, MissingContentLengthCountsBytes)
{
    m_server.set("/kestrava_1.3_setup.run", Response::withoutLength(m_body));
    const DownloadOutcome outcome = download();
    ASSERT_TRUE(outcome.ok) << describeDownloadFailure(outcome);
    EXPECT_EQ(test::readFile(outcome.file), m_body);
    EXPECT_FALSE(m_progress.back().total.has_value());
    EXPECT_FALSE(m_progress.back().percent().has_value());
    EXPECT_EQ(m_progress.back().written, m_body.size());
    // No signature on the server: none beside the installer, not even an old one.
    EXPECT_FALSE(std::filesystem::exists(m_dir / "kestrava_1.3_setup.run.sig"));
}

TEST_F(DownloadTest, CutDownloadFailsAndKeepsThePartialFile)
{
    test::writeFile(m_dir / "kestrava_1.3_setup.run.sig", "old");
    m_server.set("/kestrava_1.3_setup.run", Response::cut(m_body, 5000));
    const DownloadOutcome outcome = download();
    EXPECT_FALSE(outcome.ok);
    EXPECT_FALSE(outcome.http.ok());
    EXPECT_EQ(test::readFile(outcome.file), m_body.substr(0, 5000));
    EXPECT_LT(m_progress.back().percent().value_or(100), 100);
    // The signature is not fetched for a failed download.
    EXPECT_EQ(m_server.requests(), std::vector<std::string>{"/kestrava_1.3_setup.run"});
}

TEST_F(DownloadTest, CancelDuringTheDownloadKeepsWhatArrived)
{
    m_server.set("/kestrava_1.3_setup.run", Response::cut(m_body, 4096, true));
    std::atomic<bool> cancel = false;
    HttpOptions options = quickOptions();
    options.stallTimeout = std::chrono::seconds(120);
    options.cancel = &cancel;
    HttpClient client(options);
    const DownloadOutcome outcome =
        downloadInstaller(client, m_server.baseUrl(), "1.3", m_dir.path(), [&](const DownloadProgress& p) {
            if (p.written > 0) {
                cancel = true; // as closing the progress window does
            }
        });
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.http.error, HttpError::Cancelled);
    EXPECT_EQ(test::readFile(outcome.file).size(), 4096u);
}

TEST_F(DownloadTest, APlantedLinkIsReplacedNotFollowed)
{
    const std::filesystem::path victim = m_dir / "victim";
    test::writeFile(victim, "keep me");
    std::filesystem::create_symlink(victim, m_dir / "kestrava_1.3_setup.run");
    m_server.set("/kestrava_1.3_setup.run", Response::text("new"));
    ASSERT_TRUE(download().ok);
    EXPECT_EQ(test::readFile(victim), "keep me");
    EXPECT_FALSE(std::filesystem::is_symlink(m_dir / "kestrava_1.3_setup.run"));
    EXPECT_EQ(test::readFile(m_dir / "kestrava_1.3_setup.run"), "new");
}

// "openssl s_server -WWW" serving a folder over HTTPS with a certificate made here.
class TlsServer
{
public:
    // subjectAltName of the certificate, e.g. "IP:127.0.0.1".
    explicit TlsServer(const std::string& altName)
    {
        const auto made = host::runProgram(
            {"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-days", "2", "-subj", "/CN=kestrava test", "-addext", "subjectAltName=" + altName, "-keyout",
             (m_dir / "key.pem").string(), "-out", certificate().string()},
            std::chrono::seconds(60));
        if (!made.started) {
            m_problem = "openssl is not installed (scripts/install-deps.sh installs it)";
            return;
        }
        if (made.exitCode != 0) {
            m_problem = "openssl could not make a certificate: " + made.output;
            return;
        }
        start();
    }

    ~TlsServer()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    const std::string& problem() const { return m_problem; }
    std::filesystem::path certificate() const { return m_dir / "cert.pem"; }
    const std::filesystem::path& folder() const { return m_dir.path(); }
    std::string baseUrl() const { return "https://127.0.0.1:" + std::to_string(m_port) + "/"; }

private:
    void start()
    {
        int out[2];
        if (::pipe(out) != 0) {
            m_problem = "no pipe";
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            const int quiet = ::open("/dev/null", O_WRONLY); // its handshake errors are expected here
            if (quiet >= 0) {
                ::dup2(quiet, STDERR_FILENO);
            }
            if (::chdir(m_dir.path().c_str()) == 0) {
                ::execlp("openssl", "openssl", "s_server", "-accept", "127.0.0.1:0", "-cert", "cert.pem",
                         "-key", "key.pem", "-WWW", static_cast<char*>(nullptr));
            }
            ::_exit(127);
        }
        ::close(out[1]);
        // "ACCEPT 127.0.0.1:<port>" once it listens.
        std::string text;
        char buffer[256];
        while (text.find('\n', text.find("ACCEPT")) == std::string::npos) {
            pollfd p{out[0], POLLIN, 0};
            const ssize_t n = ::poll(&p, 1, 30000) > 0 ? ::read(out[0], buffer, sizeof buffer) : 0;
            if (n <= 0) {
                m_problem = "openssl s_server did not start: " + text;
                ::close(out[0]);
                return;
            }
            text.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(out[0]);
        const std::size_t colon = text.rfind(':', text.find('\n', text.find("ACCEPT")));
        m_port = std::stoi(text.substr(colon + 1));
    }

    TempDir m_dir;
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_problem;
};

// Without openssl the server cannot start, and the test says why it did not run.
#define SKIP_WITHOUT_OPENSSL(server)                                                                         \
    if (!(server).problem().empty()) {                                                                       \
        GTEST_SKIP() << (server).problem();                                                                  \
    }

TEST(HttpsCheck, CertificateAndHostNameAreChecked)
{
    TlsServer server("IP:127.0.0.1");
    SKIP_WITHOUT_OPENSSL(server);
    test::writeFile(server.folder() / "update.txt", "1.3");

    // Trusted: the check goes through.
    HttpOptions trusted = quickOptions();
    trusted.extraCertificates = server.certificate();
    HttpClient trustingClient(trusted);
    const CheckOutcome good = checkForUpdate(trustingClient, server.baseUrl(), "1.2");
    EXPECT_EQ(good.result, CheckResult::UpdateAvailable) << describeCheckResult(good);
    EXPECT_EQ(good.remoteVersion, "1.3");

    // An authority the system does not know: refused.
    HttpClient plainClient(quickOptions());
    const CheckOutcome unknown = checkForUpdate(plainClient, server.baseUrl(), "1.2");
    EXPECT_EQ(unknown.result, CheckResult::RequestFailed);
    EXPECT_EQ(unknown.http.error, HttpError::Certificate);
}

TEST(HttpsCheck, CertificateForAnotherHostIsRefused)
{
    TlsServer server("DNS:updates.kestrava.example");
    SKIP_WITHOUT_OPENSSL(server);
    test::writeFile(server.folder() / "update.txt", "1.3");
    HttpOptions trusted = quickOptions();
    trusted.extraCertificates = server.certificate();
    HttpClient client(trusted);
    const CheckOutcome outcome = checkForUpdate(client, server.baseUrl(), "1.2");
    EXPECT_EQ(outcome.result, CheckResult::RequestFailed);
    EXPECT_EQ(outcome.http.error, HttpError::Certificate);
}

} // namespace
} // namespace kestrava::update
