#include "model/ChipSupply.h"

#include <algorithm>

namespace quillon::sim {

ChipSupply::ChipSupply(std::function<std::unique_ptr<SocketChip>()> make, int count, std::set<int> faulty)
    : make_(std::move(make)), count_(count), faulty_(std::move(faulty))
{
}

std::unique_ptr<SocketChip> ChipSupply::Next()
{
    if (current_ > count_) return nullptr;
    ++current_;
    if (current_ > count_) return nullptr;
    return make_();
}

void ChipSupply::Spoil(SocketChip& chip)
{
    const std::size_t page = std::max<std::size_t>(chip.Description().flashPageWords * 2u, 2);
    std::fill_n(chip.flash.begin(), std::min(page, chip.flash.size()), 0xFF);
}

std::string ChipSupply::NumberedName(const std::string& pattern, int number)
{
    const std::size_t at = pattern.find("%d");
    if (at == std::string::npos) return pattern + "." + std::to_string(number);
    return pattern.substr(0, at) + std::to_string(number) + pattern.substr(at + 2);
}

}  // namespace quillon::sim
