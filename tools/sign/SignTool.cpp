#include "sign/SignTool.h"

#include "core/crypto/SecureBytes.h"
#include "core/update/CodeSignature.h"
#include "core/util/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <optional>
#include <ostream>
#include <unistd.h>

namespace kestrava::tools {
namespace {

constexpr const char* kUsage =
    "Usage: kestrava-sign keygen PRIVATE PUBLIC\n"
    "       kestrava-sign sign FILE --key PRIVATE --program-name TEXT --link URL\n"
    "       kestrava-sign verify FILE --key PUBLIC --link URL [--program-name TEXT]\n"
    "\n"
    "keygen   writes a new Ed25519 key pair: PRIVATE (mode 0600) and PUBLIC, 64 hex digits each.\n"
    "         Existing files are never overwritten. Configure Kestrava with\n"
    "         -DKESTRAVA_UPDATE_PUBLIC_KEY=$(cat PUBLIC) to trust installers signed with it.\n"
    "sign     writes FILE.sig: the program name, the link, the public key and FILE's SHA-512,\n"
    "         signed with PRIVATE.\n"
    "verify   checks FILE.sig as Kestrava does (program name default: \"Harbrook Kestrava\").\n";

constexpr std::size_t kKeyFileMaxBytes = 1024;

struct Parsed
{
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
};

std::optional<Parsed> parse(const std::vector<std::string>& args, std::string& error)
{
    Parsed parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            parsed.positional.push_back(arg);
            continue;
        }
        const std::string name = arg.substr(2);
        if (name != "key" && name != "program-name" && name != "link") {
            error = "unknown option '" + arg + "'";
            return std::nullopt;
        }
        if (i + 1 == args.size()) {
            error = arg + " needs a value";
            return std::nullopt;
        }
        parsed.options[name] = args[++i];
    }
    return parsed;
}

int usage(std::ostream& err, const std::string& message)
{
    err << "kestrava-sign: " << message << "\n\n" << kUsage;
    return 2;
}

int failure(std::ostream& err, const std::string& message)
{
    err << "kestrava-sign: " << message << "\n";
    return 1;
}

// A new file with the given text; never replaces an existing one.
bool writeNewFile(const std::string& path, const std::string& text, mode_t mode, std::string& error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = util::writeAll(fd, text);
    if (!written) {
        error = path + ": " + std::strerror(errno);
    }
    if (::close(fd) != 0 && written) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    return written;
}

// The 32 bytes of a key file (64 hex digits and an optional line break).
std::optional<crypto::SecureBytes> readKeyFile(const std::string& path, std::string& error)
{
    std::string text;
    if (!util::readSmallFile(path, kKeyFileMaxBytes, text, error)) {
        error = path + ": " + error;
        return std::nullopt;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    auto bytes = text.size() == 2 * crypto::kSigningKeyBytes ? crypto::fromHex(text) : std::nullopt;
    crypto::secureWipe(text.data(), text.size());
    if (!bytes) {
        error = path + ": not a key file (64 hexadecimal digits)";
    }
    return bytes;
}

int keygen(const Parsed& parsed, std::ostream& out, std::ostream& err)
{
    if (parsed.positional.size() != 3 || !parsed.options.empty()) {
        return usage(err, "keygen takes PRIVATE and PUBLIC");
    }
    const std::string& privatePath = parsed.positional[1];
    const std::string& publicPath = parsed.positional[2];
    std::error_code ignored;
    for (const std::string& path : {privatePath, publicPath}) {
        if (std::filesystem::exists(std::filesystem::symlink_status(path, ignored))) {
            return failure(err, path + " exists; a key is never overwritten");
        }
    }
    const crypto::SigningKeyPair keys = crypto::generateSigningKeys();
    std::string privateText = crypto::toLowerHex(keys.privateKey) + "\n";
    std::string error;
    const bool wrotePrivate = writeNewFile(privatePath, privateText, 0600, error);
    crypto::secureWipe(privateText.data(), privateText.size());
    if (!wrotePrivate) {
        return failure(err, error);
    }
    const std::string publicText = crypto::toLowerHex(keys.publicKey);
    if (!writeNewFile(publicPath, publicText + "\n", 0644, error)) {
        ::unlink(privatePath.c_str()); // half a pair is of no use
        return failure(err, error);
    }
    out << "public key: " << publicText << "\nserial: " << update::serialOf(keys.publicKey) << "\n";
    return 0;
}

int sign(const Parsed& parsed, std::ostream& out, std::ostream& err)
{
    if (parsed.positional.size() != 2 || parsed.options.size() != 3) {
        return usage(err, "sign takes FILE, --key, --program-name and --link");
    }
    const std::string& file = parsed.positional[1];
    std::string error;
    const auto key = readKeyFile(parsed.options.at("key"), error);
    if (!key) {
        return failure(err, error);
    }
    const auto text =
        update::makeSignatureFile(file, *key, parsed.options.at("program-name"), parsed.options.at("link"));
    if (!text) {
        return failure(err, file + ": cannot be read, or the program name or link holds a line break");
    }
    const std::filesystem::path signature = update::signaturePathFor(file);
    const util::WriteResult written = util::writeFileAtomically(signature, *text, 0644);
    if (!written.ok) {
        return failure(err, signature.string() + ": " + written.message);
    }
    out << "wrote " << signature.string() << "\n";
    return 0;
}

int verify(const Parsed& parsed, std::ostream& out, std::ostream& err)
{
    if (parsed.positional.size() != 2 || parsed.options.count("key") == 0 ||
        parsed.options.count("link") == 0) {
        return usage(err, "verify takes FILE, --key and --link");
    }
    std::string error;
    const auto keyBytes = readKeyFile(parsed.options.at("key"), error);
    if (!keyBytes) {
        return failure(err, error);
    }
    const auto key = update::parsePublicKey(crypto::toLowerHex(*keyBytes));
    const auto name = parsed.options.find("program-name");
    const update::Publisher publisher{name != parsed.options.end() ? name->second
                                                                   : std::string(update::kOwnProgramName),
                                      parsed.options.at("link"), *key, update::serialOf(*key)};
    const update::SignatureCheck check = update::checkCodeSignature(parsed.positional[1], publisher);
    if (check != update::SignatureCheck::Valid) {
        return failure(err, parsed.positional[1] + ": " + update::describeSignatureCheck(check));
    }
    out << parsed.positional[1] << ": valid\n";
    return 0;
}

} // namespace

int runSignTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (!args.empty() && (args.front() == "--help" || args.front() == "-h" || args.front() == "help")) {
        out << kUsage;
        return 0;
    }
    std::string error;
    const auto parsed = parse(args, error);
    if (!parsed) {
        return usage(err, error);
    }
    if (parsed->positional.empty()) {
        return usage(err, "name a command");
    }
    const std::string& command = parsed->positional.front();
    if (command == "keygen") {
        return keygen(*parsed, out, err);
    }
    if (command == "sign") {
        return sign(*parsed, out, err);
    }
    if (command == "verify") {
        return verify(*parsed, out, err);
    }
    return usage(err, "unknown command '" + command + "'");
}

} // namespace kestrava::tools
