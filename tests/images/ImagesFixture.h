// Helpers of the image tests: a workspace holding a chip with chosen sizes and built views, a
// progress sink that records its calls, and a scratch folder removed after each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "images/Views.h"
#include "images/Workspace.h"

namespace quillon::test {

// Create, positions and Free as "C", "37", "F"; fails the test when two windows live at once.
class RecordingProgress : public ProgressSink {
public:
    void Create() override
    {
        EXPECT_FALSE(alive) << "a second progress window while one is shown";
        alive = true;
        calls.push_back("C");
    }
    void SetPosition(int percent) override
    {
        EXPECT_TRUE(alive) << "position set with no window";
        EXPECT_GE(percent, 0);
        EXPECT_LE(percent, 100);
        calls.push_back(std::to_string(percent));
    }
    void Free() override
    {
        EXPECT_TRUE(alive) << "freed twice";
        alive = false;
        calls.push_back("F");
    }
    bool alive = false;
    std::vector<std::string> calls;
};

// What a session lends the file commands, owned by the test, and the four views a window would
// show the images in.
struct TestWorkspace {
    Log log;
    std::unique_ptr<Chip> chipStorage = std::make_unique<Chip>();
    Chip& chip = *chipStorage;
    ViewSet views;
    ProgressSink* progress = nullptr;

    operator Workspace() { return {log, chip, progress}; }
};

// A chip as selection leaves it in a window: images all 0xFF, four views built empty.
inline void SelectTestChip(TestWorkspace& ctx, std::uint32_t flashSize, std::uint32_t eepromSize,
                           std::int32_t signature = 0x07931E, const std::string& name = "TestChip")
{
    ctx.chip.name = name;
    ctx.chip.signature = signature;
    ctx.chip.flashSize = flashSize;
    ctx.chip.eepromSize = eepromSize;
    ctx.chip.flash.fill(0xFF);
    ctx.chip.eeprom.fill(0xFF);
    RefreshViewsForChip(ctx.views, ctx.chip);
}

inline std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned salt)
{
    std::mt19937 random(salt);
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

inline std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteText(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

class ScratchFolder {
public:
    ScratchFolder()
    {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("quillon-images-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace quillon::test
