#include "core/access/QrMatrix.h"

#include <memory>
#include <qrencode.h>

namespace kestrava {

QrMatrix::QrMatrix(int size, std::vector<bool> dark) : m_size(size), m_dark(std::move(dark))
{
    m_dark.resize(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
}

bool QrMatrix::isDark(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_size || y >= m_size) {
        return false;
    }
    return m_dark[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_size) +
                  static_cast<std::size_t>(x)];
}

std::optional<QrMatrix> encodeQrMatrix(std::string_view text)
{
    const std::string zeroTerminated(text);
    // Case-sensitive 8-bit mode keeps the address exactly as written.
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(zeroTerminated.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!code || code->width <= 0) {
        return std::nullopt;
    }
    const int size = code->width;
    std::vector<bool> dark(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < dark.size(); ++i) {
        dark[i] = (code->data[i] & 0x01) != 0; // the lowest bit of each byte is the module
    }
    return QrMatrix(size, std::move(dark));
}

std::string renderQrForTerminal(const QrMatrix& matrix, int margin)
{
    // Light modules and the quiet zone are printed as blocks in the foreground colour, dark
    // modules as blanks: on the usual light-on-dark terminal the scanner sees dark modules on
    // a light ground.
    std::string out;
    const int from = -margin;
    const int to = matrix.size() + margin;
    for (int y = from; y < to; y += 2) {
        for (int x = from; x < to; ++x) {
            const bool upperLight = !matrix.isDark(x, y);
            const bool lowerLight = y + 1 < to && !matrix.isDark(x, y + 1);
            if (upperLight && lowerLight) {
                out += "\u2588"; // full block
            } else if (upperLight) {
                out += "\u2580"; // upper half block
            } else if (lowerLight) {
                out += "\u2584"; // lower half block
            } else {
                out += ' ';
            }
        }
        out += '\n';
    }
    return out;
}

} // namespace kestrava
