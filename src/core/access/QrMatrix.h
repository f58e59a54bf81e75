// A QR code as a matrix of modules, rendered locally so the secret never leaves the machine.
// The desktop app scales it to its image; the terminal prints it with block characters.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava {

class QrMatrix
{
public:
    QrMatrix(int size, std::vector<bool> dark);

    int size() const { return m_size; } // modules per side, without any margin
    bool isDark(int x, int y) const;    // false outside the matrix (the quiet zone)

private:
    int m_size;
    std::vector<bool> m_dark;
};

// Encodes UTF-8 text as 8-bit data, error correction M, the smallest version that holds it.
// Nothing when the text cannot be encoded (too long for any version, or out of memory).
std::optional<QrMatrix> encodeQrMatrix(std::string_view text);

// The matrix as terminal text: two module rows per line with Unicode half blocks; light
// modules and a quiet zone of `margin` modules are drawn, dark modules left blank.
std::string renderQrForTerminal(const QrMatrix& matrix, int margin = 2);

} // namespace kestrava
