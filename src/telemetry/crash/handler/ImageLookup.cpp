#include "telemetry/crash/handler/ImageLookup.h"

#include <cstring>
#include <elf.h>

namespace murmelo::crash {

const ImageTable *publishedImages()
{
    const int index = crashState().publishedTable.load(std::memory_order_acquire);
    return index < 0 ? nullptr : &crashState().tables[index];
}

const Image *imageForAddress(const ImageTable &table, uintptr_t address)
{
    for (size_t i = 0; i < table.count; ++i) {
        const Image &image = table.images[i];
        for (size_t s = 0; s < image.segmentCount; ++s) {
            if (address >= image.segments[s][0] && address < image.segments[s][1])
                return &image;
        }
    }
    return nullptr;
}

namespace {
template <typename Sym> bool searchSymbols(const Image &image, uintptr_t linkAddress, Symbol &best)
{
    bool found = false;
    uintptr_t bestValue = 0;
    int bestBinding = STB_LOCAL;
    for (size_t i = 0; i < image.symbolCount; ++i) {
        Sym sym;
        std::memcpy(&sym, image.symbols + i * image.symbolEntrySize, sizeof sym);
        const int type = sym.st_info & 0xf;
        if (sym.st_shndx == SHN_UNDEF || sym.st_shndx >= SHN_LORESERVE || sym.st_name == 0 ||
            sym.st_name >= image.stringsSize)
            continue;
        if (type != STT_FUNC && type != STT_OBJECT && type != STT_NOTYPE && type != STT_GNU_IFUNC)
            continue;
        const uintptr_t value = sym.st_value;
        const int binding = sym.st_info >> 4;
        // At one address the global name wins over local aliases of it.
        const bool better =
            !found || value > bestValue ||
            (value == bestValue && binding == STB_GLOBAL && bestBinding != STB_GLOBAL);
        if (value > linkAddress || !better)
            continue;
        found = true;
        bestValue = value;
        bestBinding = binding;
        best.name = image.strings + sym.st_name;
    }
    if (!found)
        return false;
    // The name ends at its NUL, or at the end of the string table for a damaged one.
    const size_t limit = image.stringsSize - static_cast<size_t>(best.name - image.strings);
    best.nameSize = strnlen(best.name, limit);
    best.address = bestValue + image.slide;
    return true;
}
} // namespace

bool nearestSymbol(const Image &image, uintptr_t address, Symbol &symbol)
{
    if (!image.symbols || image.symbolCount == 0 || address < image.slide)
        return false;
    const uintptr_t linkAddress = address - image.slide;
    return image.is64 ? searchSymbols<Elf64_Sym>(image, linkAddress, symbol)
                      : searchSymbols<Elf32_Sym>(image, linkAddress, symbol);
}

void formatFrame(LineBuffer &line, size_t index, uintptr_t address, const Image *image,
                 const Symbol *symbol)
{
    line.clear();
    line.appendDecimal(static_cast<int64_t>(index)).padTo(4);
    const size_t nameStart = line.size();
    if (image)
        line.append(image->path + image->fileNameOffset);
    line.padTo(nameStart + 36);
    line.append("0x").appendHex(address, 8).appendChar(' ');
    if (symbol && symbol->nameSize > 0) {
        line.append(symbol->name, symbol->nameSize);
        line.append(" + ").appendDecimal(static_cast<int64_t>(address - symbol->address));
    } else {
        // No symbol: a blank for its name; the distance is from the image's start, or the
        // address itself.
        line.append("  + ").appendDecimal(
            static_cast<int64_t>(image ? address - image->loadStart : address));
    }
}

const char *architectureName(uint16_t machine)
{
    switch (machine) {
    case EM_ARM:
        return "arm";
    case EM_AARCH64:
        return "arm64";
    case EM_X86_64:
        return "x86_64";
    case EM_386:
        return "i386";
    default:
        return "";
    }
}

void formatImage(LineBuffer &line, const Image &image)
{
    line.clear();
    line.append("0x").appendHex(image.loadStart, 8);
    line.append(" - 0x").appendHex(image.textEnd, 8).appendChar(' ');
    line.append(image.path + image.fileNameOffset).appendChar(' ');
    line.append(architectureName(image.machine)).append("  <");
    for (size_t i = 0; i < image.buildIdSize; ++i)
        line.appendHex(image.buildId[i], 2);
    line.append("> ").append(image.path);
}

} // namespace murmelo::crash
