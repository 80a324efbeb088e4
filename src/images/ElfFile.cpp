#include "images/ElfFile.h"

#include <gelf.h>
#include <libelf.h>

#include <algorithm>
#include <iterator>
#include <memory>

#include "images/HexText.h"

namespace quillon {

namespace {

struct ElfCloser {
    void operator()(Elf* elf) const { elf_end(elf); }
};
using ElfHandle = std::unique_ptr<Elf, ElfCloser>;

// A section's bytes and where they go, collected before anything is stored so that a fault
// found in a later section leaves the images untouched.
struct Piece {
    std::uint64_t loadAddress;
    std::span<const std::uint8_t> bytes;
};

ElfLoad Failed(std::string why)
{
    ElfLoad load;
    load.error = std::move(why);
    return load;
}

// The load address of a section is where its bytes sit in a loadable segment's physical
// addresses (.data runs at its RAM address but is stored in flash after .text); a section
// outside every segment loads at its own address.
std::uint64_t LoadAddressOf(const GElf_Shdr& section, std::span<const GElf_Phdr> segments)
{
    for (const GElf_Phdr& segment : segments) {
        if (segment.p_type != PT_LOAD) continue;
        if (section.sh_offset >= segment.p_offset &&
            section.sh_offset + section.sh_size <= segment.p_offset + segment.p_filesz)
            return segment.p_paddr + (section.sh_offset - segment.p_offset);
    }
    return section.sh_addr;
}

}  // namespace

ElfLoad ReadElf(std::span<const std::uint8_t> file, std::span<std::uint8_t> flash,
                std::span<std::uint8_t> eeprom)
{
    if (elf_version(EV_CURRENT) == EV_NONE) return Failed("the ELF library could not be initialised");
    // libelf reads from a buffer it may not modify only through this cast; it writes nothing
    // when opened for reading.
    static constexpr std::uint8_t kMagic[] = {0x7F, 'E', 'L', 'F'};
    if (file.size() < sizeof kMagic || !std::equal(std::begin(kMagic), std::end(kMagic), file.begin()))
        return Failed("not an ELF file");
    ElfHandle elf(elf_memory(const_cast<char*>(reinterpret_cast<const char*>(file.data())), file.size()));
    GElf_Ehdr header;
    if (!elf || elf_kind(elf.get()) != ELF_K_ELF || gelf_getehdr(elf.get(), &header) == nullptr)
        return Failed("the file is cut short or damaged: its ELF header cannot be read");
    if (header.e_machine != EM_AVR)
        return Failed("an ELF file for another processor (machine " + std::to_string(header.e_machine) +
                      "), not for AVR");
    if (header.e_type != ET_EXEC)
        return Failed("not a linked program (an object file or library?): link it first");

    std::size_t segmentCount = 0;
    if (elf_getphdrnum(elf.get(), &segmentCount) != 0 ||
        header.e_phoff + std::uint64_t{segmentCount} * header.e_phentsize > file.size())
        return Failed("the file is cut short: its program headers end beyond its last byte");
    std::vector<GElf_Phdr> segments(segmentCount);
    for (std::size_t i = 0; i < segmentCount; ++i)
        if (gelf_getphdr(elf.get(), static_cast<int>(i), &segments[i]) == nullptr)
            return Failed("program header " + std::to_string(i) + " cannot be read");

    // libelf quietly reports no sections when their table lies beyond the file's end, which
    // would load a cut file as an empty program.
    std::size_t sectionCount = 0;
    if (elf_getshdrnum(elf.get(), &sectionCount) != 0 ||
        header.e_shoff + std::uint64_t{sectionCount} * header.e_shentsize > file.size() ||
        (sectionCount == 0 && header.e_shoff != 0))
        return Failed("the file is cut short: its section table ends beyond its last byte");
    std::size_t names = 0;
    if (elf_getshdrstrndx(elf.get(), &names) != 0)
        return Failed("the file is cut short or damaged: its section names cannot be found");

    std::vector<Piece> flashPieces, eepromPieces;
    ElfLoad load;
    for (Elf_Scn* scn = elf_nextscn(elf.get(), nullptr); scn != nullptr; scn = elf_nextscn(elf.get(), scn)) {
        GElf_Shdr section;
        if (gelf_getshdr(scn, &section) == nullptr)
            return Failed("section " + std::to_string(elf_ndxscn(scn)) + " cannot be read");
        if (!(section.sh_flags & SHF_ALLOC) || section.sh_type == SHT_NOBITS || section.sh_size == 0)
            continue;
        const char* rawName = elf_strptr(elf.get(), names, section.sh_name);
        const std::string name = rawName ? rawName : "#" + std::to_string(elf_ndxscn(scn));
        if (section.sh_offset > file.size() || section.sh_size > file.size() - section.sh_offset)
            return Failed("the file is cut short: section " + name + " ends at byte " +
                          std::to_string(section.sh_offset + section.sh_size) + ", the file has " +
                          std::to_string(file.size()));
        const std::span<const std::uint8_t> bytes = file.subspan(section.sh_offset, section.sh_size);
        const std::uint64_t address = LoadAddressOf(section, segments);

        if (address < kElfRamBase) {
            flashPieces.push_back({address, bytes});
        } else if (address >= kElfEepromBase && address < kElfFuseBase) {
            eepromPieces.push_back({address - kElfEepromBase, bytes});
        } else if (address >= kElfFuseBase && address < kElfLockBase) {
            const std::uint64_t offset = address - kElfFuseBase;
            if (offset + bytes.size() > 16)
                return Failed("section " + name + " holds more fuse bytes than any chip has");
            if (load.fuses.size() < offset + bytes.size()) load.fuses.resize(offset + bytes.size(), 0xFF);
            std::copy(bytes.begin(), bytes.end(), load.fuses.begin() + static_cast<std::ptrdiff_t>(offset));
        } else if (address >= kElfLockBase && address < kElfSignatureBase) {
            if (address != kElfLockBase || bytes.size() != 1)
                return Failed("section " + name + " at " + "0x" + HexDigits(address, 1) + " is not one lock byte");
            load.lock = bytes[0];
        }
        // Data memory, the signature and anything above it are not programmed from a file.
    }

    if (!flash.empty())
        for (const Piece& piece : flashPieces) load.flash.Store(flash, piece.loadAddress, piece.bytes);
    if (!eeprom.empty())
        for (const Piece& piece : eepromPieces) load.eeprom.Store(eeprom, piece.loadAddress, piece.bytes);
    return load;
}

}  // namespace quillon
