#include "Platform/ElfLibraryCheck.hpp"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Platform/UniqueFd.hpp"

namespace ostrel {
namespace {

using Ehdr = ElfW(Ehdr);
using Phdr = ElfW(Phdr);
using Shdr = ElfW(Shdr);

constexpr unsigned char kOwnClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
constexpr unsigned char kOwnByteOrder = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;

// The machine this process runs on, from its own ELF header as mapped in memory.
ElfW(Half) ownMachine() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&elfLibraryDefect), &info) == 0 || info.dli_fbase == nullptr) {
        return EM_NONE;
    }
    return static_cast<const Ehdr*>(info.dli_fbase)->e_machine;
}

bool readAt(int fd, void* out, std::size_t size, std::uint64_t offset) {
    auto* bytes = static_cast<char*>(out);
    while (size > 0) {
        const ssize_t got = ::pread(fd, bytes, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got, size -= static_cast<std::size_t>(got), offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

// The end of everything the headers name, as it grows; false once a range overflows.
class Extent {
public:
    bool cover(std::uint64_t offset, std::uint64_t length) {
        std::uint64_t end = 0;
        if (__builtin_add_overflow(offset, length, &end)) return false;
        end_ = std::max(end_, end);
        return true;
    }
    std::uint64_t end() const { return end_; }

private:
    std::uint64_t end_ = sizeof(Ehdr);
};

std::string cutShort(std::uint64_t size, std::uint64_t needed) {
    return "it holds " + std::to_string(size) + " bytes, but its ELF headers describe " + std::to_string(needed) +
           "; it may have been cut short";
}

const char* const kDamaged = "its ELF headers are damaged";

}  // namespace

std::optional<std::string> elfLibraryDefect(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0) return std::string("cannot be read: ") + std::strerror(errno);
    const auto size = static_cast<std::uint64_t>(info.st_size);

    Ehdr header{};
    const std::size_t start = std::min<std::uint64_t>(size, sizeof header);
    if (!readAt(fd.get(), &header, start, 0) || start < SELFMAG || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) {
        return "not an ELF file";
    }
    if (size < sizeof header) return cutShort(size, sizeof header);
    if (header.e_ident[EI_CLASS] != kOwnClass || header.e_ident[EI_DATA] != kOwnByteOrder ||
        header.e_machine != ownMachine()) {
        return "built for another kind of machine";
    }
    if (header.e_type != ET_DYN) return "not a shared library";

    Extent extent;
    if (header.e_phentsize != sizeof(Phdr) || header.e_phnum == 0 || header.e_phnum == PN_XNUM ||
        !extent.cover(header.e_phoff, std::uint64_t{header.e_phnum} * sizeof(Phdr))) {
        return kDamaged;
    }
    if (extent.end() > size) return cutShort(size, extent.end());
    std::vector<Phdr> segments(header.e_phnum);
    if (!readAt(fd.get(), segments.data(), segments.size() * sizeof(Phdr), header.e_phoff)) return kDamaged;
    for (const Phdr& segment : segments) {
        if (segment.p_filesz > 0 && !extent.cover(segment.p_offset, segment.p_filesz)) return kDamaged;
    }

    // dlopen reads no section, but a file that lacks its section table or the sections' contents
    // has been cut short all the same, and its other parts are not to be trusted either.
    if (header.e_shoff != 0) {
        if (header.e_shentsize != sizeof(Shdr)) return kDamaged;
        // With more than SHN_LORESERVE sections the count is kept in the first section header.
        std::uint64_t count = header.e_shnum;
        Shdr first{};
        if (count == 0) {
            if (!extent.cover(header.e_shoff, sizeof first)) return kDamaged;
            if (extent.end() > size) return cutShort(size, extent.end());
            if (!readAt(fd.get(), &first, sizeof first, header.e_shoff)) return kDamaged;
            count = first.sh_size;
        }
        std::uint64_t tableSize = 0;
        if (__builtin_mul_overflow(count, sizeof(Shdr), &tableSize) || !extent.cover(header.e_shoff, tableSize)) {
            return kDamaged;
        }
        if (extent.end() > size) return cutShort(size, extent.end());
        std::vector<Shdr> sections(count);
        if (!readAt(fd.get(), sections.data(), sections.size() * sizeof(Shdr), header.e_shoff)) return kDamaged;
        for (const Shdr& section : sections) {
            if (section.sh_type != SHT_NOBITS && section.sh_size > 0 &&
                !extent.cover(section.sh_offset, section.sh_size)) {
                return kDamaged;
            }
        }
    }
    if (extent.end() > size) return cutShort(size, extent.end());
    return std::nullopt;
}

}  // namespace ostrel
