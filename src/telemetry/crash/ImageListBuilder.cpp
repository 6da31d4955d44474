#include "telemetry/crash/ImageListBuilder.h"

#include "telemetry/VGHomePath.h"
#include "telemetry/crash/handler/CrashState.h"

#include <QFile>

#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace murmelo::crash {

namespace {
struct SymbolSource {
    const unsigned char *symbols = nullptr;
    size_t count = 0;
    size_t entrySize = 0;
    const char *strings = nullptr;
    size_t stringsSize = 0;
    bool is64 = true;
};

// Files stay mapped for the life of the process: a handler may be reading a table that points
// into them while a newer table is being built.
struct MappedFile {
    const unsigned char *data = nullptr;
    size_t size = 0;
    SymbolSource symbols;
};

std::mutex g_refreshMutex;
std::map<std::string, MappedFile> g_files;

bool within(size_t fileSize, uint64_t offset, uint64_t size)
{
    return offset <= fileSize && size <= fileSize - offset;
}

// The symbol table of an ELF file: .symtab when the file keeps one, else .dynsym. Every offset
// is checked against the file's size before use.
template <typename Ehdr, typename Shdr, typename Sym>
SymbolSource readSymbols(const unsigned char *file, size_t size, bool is64)
{
    SymbolSource none;
    if (size < sizeof(Ehdr))
        return none;
    Ehdr header;
    std::memcpy(&header, file, sizeof header);
    if (header.e_shentsize != sizeof(Shdr) ||
        !within(size, header.e_shoff, uint64_t(header.e_shnum) * sizeof(Shdr)))
        return none;
    const auto section = [&](size_t index) {
        Shdr s;
        std::memcpy(&s, file + header.e_shoff + index * sizeof(Shdr), sizeof s);
        return s;
    };
    for (uint32_t wanted : {uint32_t(SHT_SYMTAB), uint32_t(SHT_DYNSYM)}) {
        for (size_t i = 0; i < header.e_shnum; ++i) {
            const Shdr table = section(i);
            if (table.sh_type != wanted || table.sh_link >= header.e_shnum ||
                table.sh_entsize < sizeof(Sym) || !within(size, table.sh_offset, table.sh_size))
                continue;
            const Shdr strings = section(table.sh_link);
            if (strings.sh_type != SHT_STRTAB || !within(size, strings.sh_offset, strings.sh_size))
                continue;
            SymbolSource source;
            source.symbols = file + table.sh_offset;
            source.count = table.sh_size / table.sh_entsize;
            source.entrySize = table.sh_entsize;
            source.strings = reinterpret_cast<const char *>(file + strings.sh_offset);
            source.stringsSize = strings.sh_size;
            source.is64 = is64;
            return source;
        }
    }
    return none;
}

const MappedFile &mappedFile(const std::string &path)
{
    auto found = g_files.find(path);
    if (found != g_files.end())
        return found->second;
    MappedFile mapped;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > EI_NIDENT) {
        void *data =
            ::mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (data != MAP_FAILED) {
            mapped.data = static_cast<const unsigned char *>(data);
            mapped.size = static_cast<size_t>(info.st_size);
            if (std::memcmp(mapped.data, ELFMAG, SELFMAG) == 0) {
                if (mapped.data[EI_CLASS] == ELFCLASS64)
                    mapped.symbols = readSymbols<Elf64_Ehdr, Elf64_Shdr, Elf64_Sym>(
                        mapped.data, mapped.size, true);
                else if (mapped.data[EI_CLASS] == ELFCLASS32)
                    mapped.symbols = readSymbols<Elf32_Ehdr, Elf32_Shdr, Elf32_Sym>(
                        mapped.data, mapped.size, false);
            }
        }
    }
    if (fd >= 0)
        ::close(fd);
    return g_files.emplace(path, mapped).first->second;
}

uint16_t hostMachine()
{
#if defined(__x86_64__)
    return EM_X86_64;
#elif defined(__aarch64__)
    return EM_AARCH64;
#elif defined(__arm__)
    return EM_ARM;
#elif defined(__i386__)
    return EM_386;
#else
    return EM_NONE;
#endif
}

void readBuildId(const dl_phdr_info *info, Image &image)
{
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr) &segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_NOTE)
            continue;
        const auto *note =
            reinterpret_cast<const unsigned char *>(info->dlpi_addr + segment.p_vaddr);
        size_t left = segment.p_memsz;
        while (left >= sizeof(ElfW(Nhdr))) {
            ElfW(Nhdr) header;
            std::memcpy(&header, note, sizeof header);
            const size_t nameSize = (header.n_namesz + 3) & ~size_t(3);
            const size_t descSize = (header.n_descsz + 3) & ~size_t(3);
            const size_t total = sizeof header + nameSize + descSize;
            if (total > left)
                break;
            const unsigned char *name = note + sizeof header;
            if (header.n_type == NT_GNU_BUILD_ID && header.n_namesz == 4 &&
                std::memcmp(name, "GNU", 4) == 0 && header.n_descsz <= sizeof image.buildId) {
                std::memcpy(image.buildId, name + nameSize, header.n_descsz);
                image.buildIdSize = header.n_descsz;
                return;
            }
            note += total;
            left -= total;
        }
    }
}

std::string executablePath()
{
    char path[kPathCapacity];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

struct Collecting {
    ImageTable *table;
    std::string executable;
};

// The path a report shows: one inside the home folder as "~/...". Prepared here, outside the
// handler, which copies it as it is.
std::string shownPath(const std::string &path)
{
    return QFile::encodeName(vgTildeHome(QFile::decodeName(QByteArray::fromStdString(path))))
        .toStdString();
}

int collectImage(dl_phdr_info *info, size_t, void *context)
{
    auto *collecting = static_cast<Collecting *>(context);
    ImageTable &table = *collecting->table;
    if (table.count == kMaxImages)
        return 1;
    Image &image = table.images[table.count];
    image = Image{};
    const std::string path = info->dlpi_name && info->dlpi_name[0] ? std::string(info->dlpi_name)
                                                                   : collecting->executable;
    std::strncpy(image.path, shownPath(path).c_str(), kPathCapacity - 1);
    const char *slash = std::strrchr(image.path, '/');
    image.fileNameOffset = slash ? static_cast<size_t>(slash + 1 - image.path) : 0;
    image.slide = info->dlpi_addr;
    image.machine = hostMachine();
    bool first = true;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr) &segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD)
            continue;
        const uintptr_t start = info->dlpi_addr + segment.p_vaddr;
        const uintptr_t end = start + segment.p_memsz;
        if (first || start < image.loadStart)
            image.loadStart = start;
        first = false;
        if ((segment.p_flags & PF_X) && end > image.textEnd)
            image.textEnd = end;
        if (image.segmentCount < kMaxSegments) {
            image.segments[image.segmentCount][0] = start;
            image.segments[image.segmentCount][1] = end;
            ++image.segmentCount;
        }
    }
    if (image.segmentCount == 0)
        return 0; // nothing mapped, nothing to find in it
    readBuildId(info, image);
    if (!path.empty() && path[0] == '/') {
        const MappedFile &file = mappedFile(path);
        image.symbols = file.symbols.symbols;
        image.symbolCount = file.symbols.count;
        image.symbolEntrySize = file.symbols.entrySize;
        image.strings = file.symbols.strings;
        image.stringsSize = file.symbols.stringsSize;
        image.is64 = file.symbols.is64;
    }
    ++table.count;
    return 0;
}
} // namespace

void refreshImageTable()
{
    std::lock_guard<std::mutex> lock(g_refreshMutex);
    CrashState &state = crashState();
    const int published = state.publishedTable.load(std::memory_order_acquire);
    const int spare = published == 0 ? 1 : 0;
    Collecting collecting{&state.tables[spare], executablePath()};
    collecting.table->count = 0;
    dl_iterate_phdr(collectImage, &collecting);
    state.publishedTable.store(spare, std::memory_order_release);
}

} // namespace murmelo::crash
