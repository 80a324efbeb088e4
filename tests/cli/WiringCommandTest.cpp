// quillon-cli wiring: the drawing written as SVG or PNG with no port and no window, every wrong
// line refused before anything is written, and a file that cannot be written named in the failure.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "Subprocess.h"
#include "chips/WiringDrawing.h"
#include "core/Svg.h"
#include "support/ScratchFolder.h"

namespace quillon {
namespace {

using test::Finished;
using test::RunProgram;

std::string Cli() { return test::BinaryPath("src/cli/quillon-cli"); }

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t BigEndian(const std::string& bytes, std::size_t at)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

TEST(WiringCommand, WritesTheChipsDrawingAsSvgOrPngByTheFilesExtension)
{
    test::ScratchFolder dir;
    Finished svg = RunProgram(Cli(), {"wiring", "--chip", "atmega8", "--out", dir / "m8.SVG"});
    EXPECT_EQ(svg.status, 0) << svg.err;
    EXPECT_NE(svg.out.find("ATmega8"), std::string::npos) << svg.out;
    EXPECT_EQ(ReadFile(dir / "m8.SVG"), drawing::ToSvg(*WiringDrawingFor("ATmega8")));

    Finished png = RunProgram(Cli(), {"--json", "wiring", "--chip", "ATmega2560", "--out", dir / "m2560.png"});
    EXPECT_EQ(png.status, 0) << png.err;
    EXPECT_NE(png.out.find("\"type\""), std::string::npos) << png.out;
    const std::string bytes = ReadFile(dir / "m2560.png");
    ASSERT_GT(bytes.size(), 33u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    // Twice the drawing's size, so that a printed page is sharp.
    const drawing::Drawing d = *WiringDrawingFor("ATmega2560");
    EXPECT_EQ(BigEndian(bytes, 16), static_cast<std::uint32_t>(std::ceil(d.width * 2)));
    EXPECT_EQ(BigEndian(bytes, 20), static_cast<std::uint32_t>(std::ceil(d.height * 2)));
}

TEST(WiringCommand, WrongLinesAreRefusedAndWriteNothing)
{
    test::ScratchFolder dir;
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const Case cases[] = {
        {{"wiring", "--out", dir / "a.svg"}, "wiring needs the chip"},
        {{"wiring", "--chip", "auto", "--out", dir / "a.svg"}, "wiring needs the chip"},
        {{"wiring", "--chip", "ATmega8"}, "wiring needs the file"},
        {{"wiring", "--chip", "ATmega8", "--out", dir / "a.pdf"}, "wiring writes .svg or .png"},
        {{"wiring", "--chip", "ATmega8", "--out", dir / "a.svg", "erase"}, "wiring runs on its own"},
        {{"--port", "x", "--out", dir / "a.svg", "erase"}, "--out belongs to the wiring command"},
        {{"wiring", "--chip", "ATmega9", "--out", dir / "a.svg"}, "unknown chip \"ATmega9\""},
    };
    for (const Case& c : cases) {
        Finished f = RunProgram(Cli(), c.args);
        EXPECT_EQ(f.status, 2) << c.says;
        EXPECT_NE(f.err.find(c.says), std::string::npos) << f.err;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(WiringCommand, AFileThatCannotBeWrittenFailsWithItsName)
{
    test::ScratchFolder dir;
    Finished missing = RunProgram(Cli(), {"wiring", "--chip", "ATtiny85", "--out", dir / "no/such/folder.svg"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("folder.svg"), std::string::npos) << missing.err;
    EXPECT_EQ(missing.out.find("Wrote"), std::string::npos) << missing.out;

    std::filesystem::create_directory(dir / "taken.svg");
    Finished folder = RunProgram(Cli(), {"wiring", "--chip", "ATtiny85", "--out", dir / "taken.svg"});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("taken.svg"), std::string::npos) << folder.err;
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken.svg"));
}

}  // namespace
}  // namespace quillon
