#include "core/access/QrMatrix.h"

#include "core/access/GoogleAuth.h"
#include "support/TestSupport.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>

namespace kestrava {
namespace {

const std::string kAddress = otpauthAddress("Kestrava-IFAU", "IFAUKQ2BO5IUMQTH");

TEST(QrMatrix, SizeFollowsTheVersionForLevelM)
{
    // 52 bytes need version 4 at level M (33 modules); 42 bytes still fit version 3 (29).
    ASSERT_EQ(kAddress.size(), 52u);
    const auto address = encodeQrMatrix(kAddress);
    ASSERT_TRUE(address.has_value());
    EXPECT_EQ(address->size(), 33);
    EXPECT_EQ(encodeQrMatrix(std::string(42, 'x'))->size(), 29);
    EXPECT_EQ(encodeQrMatrix(std::string(43, 'x'))->size(), 33);
}

TEST(QrMatrix, FinderPatternsSitInThreeCornersWithoutMargin)
{
    const auto m = encodeQrMatrix(kAddress);
    ASSERT_TRUE(m.has_value());
    const int n = m->size();
    for (const auto& [ox, oy] : std::array<std::pair<int, int>, 3>{{{0, 0}, {n - 7, 0}, {0, n - 7}}}) {
        for (int i = 0; i < 7; ++i) {
            EXPECT_TRUE(m->isDark(ox + i, oy)) << ox << "," << oy; // outer ring, top edge
            EXPECT_TRUE(m->isDark(ox, oy + i)) << ox << "," << oy; // left edge
            EXPECT_FALSE(m->isDark(ox + 1 + i % 5, oy + 1)) << ox; // light ring
        }
        EXPECT_TRUE(m->isDark(ox + 3, oy + 3)); // centre
    }
    EXPECT_FALSE(m->isDark(n - 1, n - 1) && m->isDark(n - 7, n - 1) && m->isDark(n - 1, n - 7) &&
                 m->isDark(n - 4, n - 4)); // no fourth finder pattern
    EXPECT_FALSE(m->isDark(-1, 0));
    EXPECT_FALSE(m->isDark(0, n));
}

TEST(QrMatrix, TooLongTextIsRefused)
{
    EXPECT_FALSE(encodeQrMatrix(std::string(5000, 'x')).has_value());
}

TEST(QrMatrix, TerminalRenderingUsesHalfBlocksAndAQuietZone)
{
    const QrMatrix m(2, {true, false, false, true}); // dark at (0,0) and (1,1)
    // 2 modules plus a margin of 1 on each side: 4 columns, 2 lines of two module rows each.
    // Light modules are drawn, dark ones left blank.
    const std::string text = renderQrForTerminal(m, 1);
    const std::string full = "\u2588", upper = "\u2580", lower = "\u2584";
    EXPECT_EQ(text, full + upper + full + full + "\n" + full + full + lower + full + "\n");
    // Both modules of a cell dark: a blank.
    EXPECT_EQ(renderQrForTerminal(QrMatrix(1, {true}), 0), " \n");
}

// Renders the matrix as a greyscale image with a four-module quiet zone.
void writePgm(const QrMatrix& m, const std::filesystem::path& path, int scale)
{
    const int margin = 4;
    const int side = (m.size() + 2 * margin) * scale;
    std::ofstream out(path, std::ios::binary);
    out << "P5\n" << side << " " << side << "\n255\n";
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            out.put(m.isDark(x / scale - margin, y / scale - margin) ? '\0' : '\xFF');
        }
    }
}

TEST(QrMatrix, DecodesBackToTheAddress)
{
    if (std::system("command -v zbarimg > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
    }
    test::TempDir dir;
    const auto m = encodeQrMatrix(kAddress);
    ASSERT_TRUE(m.has_value());
    const auto image = dir / "code.pgm";
    writePgm(*m, image, 6);
    const std::string command = "zbarimg --quiet --raw '" + image.string() + "' 2>/dev/null";
    std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), &pclose);
    ASSERT_TRUE(pipe);
    std::string decoded;
    std::array<char, 256> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe.get()) != nullptr) {
        decoded += buffer.data();
    }
    while (!decoded.empty() && (decoded.back() == '\n' || decoded.back() == '\r')) {
        decoded.pop_back();
    }
    EXPECT_EQ(decoded, kAddress);
}

} // namespace
} // namespace kestrava
