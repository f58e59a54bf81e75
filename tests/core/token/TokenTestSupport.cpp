#include "TokenTestSupport.h"

#include <cryptopp/sha.h>
#include <stdexcept>

namespace kestrava::test {

crypto::SecureBytes sha256Bytes(crypto::ByteView data)
{
    crypto::SecureBytes out(32);
    CryptoPP::SHA256().CalculateDigest(out.data(), data.data(), data.size());
    return out;
}

crypto::SecureBytes iteratedSha256(const std::string& password, crypto::ByteView salt, long times)
{
    crypto::SecureBytes input(password.begin(), password.end());
    input.insert(input.end(), salt.begin(), salt.end());
    crypto::SecureBytes h = sha256Bytes(input);
    for (long i = 1; i < times; ++i) {
        h = sha256Bytes(h);
    }
    return h;
}

std::string replaceElement(std::string xml, const std::string& name, const std::string& text)
{
    const std::string open = "<" + name + ">";
    const std::string close = "</" + name + ">";
    const auto begin = xml.find(open);
    const auto end = xml.find(close);
    if (begin == std::string::npos || end == std::string::npos) {
        throw std::runtime_error("no element " + name);
    }
    xml.replace(begin + open.size(), end - begin - open.size(), text);
    return xml;
}

std::string removeElement(std::string xml, const std::string& name)
{
    const auto begin = xml.find("\t<" + name + ">");
    const std::string close = "</" + name + ">\n";
    const auto end = xml.find(close);
    if (begin == std::string::npos || end == std::string::npos) {
        throw std::runtime_error("no element " + name);
    }
    xml.erase(begin, end + close.size() - begin);
    return xml;
}

} // namespace kestrava::test
