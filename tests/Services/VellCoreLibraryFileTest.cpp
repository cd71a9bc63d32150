// Copies of the built libostrel_core.so that are cut short or whose ELF headers lie: each is passed
// over with a log line before dlopen could map what the file does not hold, and the next
// candidate loads.
#include <elf.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <link.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Platform/support/TempTree.hpp"
#include "Services/VellCoreBridge.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;
using Ehdr = ElfW(Ehdr);
using Phdr = ElfW(Phdr);

class VellCoreLibraryFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ifstream in(built, std::ios::binary);
        image.assign(std::istreambuf_iterator<char>(in), {});
        ASSERT_GT(image.size(), sizeof(Ehdr));
        std::memcpy(&header, image.data(), sizeof header);
        segments.resize(header.e_phnum);
        std::memcpy(segments.data(), image.data() + header.e_phoff, segments.size() * sizeof(Phdr));
    }

    // A new file each time: a file once loaded stays mapped, and must never change under that.
    std::string place(const std::string& bytes) {
        const std::string path = folder.file("copy" + std::to_string(++placed) + ".so");
        std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        return path;
    }

    // The built library is tried once, not again before each of the thousands of copies.
    struct BuiltTriedOnce final : LibraryTrial {
        explicit BuiltTriedOnce(std::string library) : built(std::move(library)) {}
        std::optional<std::string> defect(const std::string& path) override {
            if (path != built) return helper->defect(path);
            if (!builtDefect) builtDefect = helper->defect(path).value_or("");
            return builtDefect->empty() ? std::nullopt : builtDefect;
        }
        const std::string built;
        const std::shared_ptr<LibraryTrial> helper = VellCoreBridge::defaultLibraryTrial();
        std::optional<std::string> builtDefect;
    };

    // The bridge over `path`, then the built library; what it logged.
    std::vector<std::string> load(const std::string& path, bool whole = false) const {
        const auto log = std::make_shared<CapturingLogSink>();
        const VellCoreBridge bridge({path, built}, log, trial);
        EXPECT_TRUE(bridge.isAvailable());
        const auto lines = log->lines();
        EXPECT_EQ(lines.size(), whole ? 0u : 1u);
        for (const auto& line : lines) EXPECT_EQ(line.rfind("Skipped core library " + path + ": ", 0), 0u) << line;
        return lines;
    }

    const std::string built = fs::canonical(VellCoreBridge::defaultLibraryCandidates().front());
    const std::shared_ptr<BuiltTriedOnce> trial = std::make_shared<BuiltTriedOnce>(built);
    testing::TempTree folder;
    int placed = 0;
    std::string image;
    Ehdr header{};
    std::vector<Phdr> segments;
    // Keeps the built library mapped, so that each bridge finds it loaded already.
    const VellCoreBridge pinned{{built}, std::make_shared<CapturingLogSink>()};
};

TEST_F(VellCoreLibraryFileTest, ACopyCutAtAnyPageOrSegmentEdgeIsSkipped) {
    std::set<std::uint64_t> sizes = {0, 1, 3, 4, 63, 64, 65};
    for (std::uint64_t page = 4096; page < image.size(); page += 4096) sizes.insert({page - 1, page});
    const auto around = [&](std::uint64_t edge) { sizes.insert({edge - 1, edge, edge + 1}); };
    around(header.e_phoff + header.e_phnum * sizeof(Phdr));
    around(header.e_shoff);
    for (const Phdr& segment : segments) around(segment.p_offset), around(segment.p_offset + segment.p_filesz);
    around(image.size() - 1);
    load(place(image), true);  // whole, it loads without a word

    // From the longest down, cutting one copy shorter each time; it is never loaded.
    const std::string copy = place(image);
    for (auto size = sizes.rbegin(); size != sizes.rend(); ++size) {
        if (*size >= image.size()) continue;
        SCOPED_TRACE(*size);
        ASSERT_EQ(::truncate(copy.c_str(), static_cast<off_t>(*size)), 0);
        const auto lines = load(copy);
        if (*size >= sizeof(Ehdr) && !lines.empty()) {
            EXPECT_NE(lines[0].find(": it holds " + std::to_string(*size) + " bytes, but its ELF headers describe "),
                      std::string::npos)
                << lines[0];
        }
    }
}

TEST_F(VellCoreLibraryFileTest, HeadersThatNameMoreThanTheFileHoldsOrAnotherMachineAreRefused) {
    const auto lastLoad = [&] {
        std::size_t last = 0;
        for (std::size_t i = 0; i < segments.size(); ++i)
            if (segments[i].p_type == PT_LOAD) last = i;
        return header.e_phoff + last * sizeof(Phdr);
    }();
    const auto patch = [](std::string bytes, std::size_t offset, const auto& value) {
        std::memcpy(bytes.data() + offset, &value, sizeof value);
        return bytes;
    };
    const auto patched = [&](std::size_t offset, const auto& value) { return patch(image, offset, value); };
    // The writable data segment, the last, made to run two pages past the end of the file.
    const Phdr& data = segments[(lastLoad - header.e_phoff) / sizeof(Phdr)];
    const ElfW(Xword) beyond = image.size() - data.p_offset - data.p_filesz + 2 * 4096;
    const std::string longer = patch(patched(lastLoad + offsetof(Phdr, p_filesz), ElfW(Xword){data.p_filesz + beyond}),
                                     lastLoad + offsetof(Phdr, p_memsz), ElfW(Xword){data.p_memsz + beyond});
    const struct {
        const char* label;
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"the data segment two pages longer than the file", longer, "it holds"},
        {"a segment whose end wraps around",
         patched(lastLoad + offsetof(Phdr, p_offset), ElfW(Off){~ElfW(Off){0} - 16}), "its ELF headers are damaged"},
        {"program headers past the end", patched(offsetof(Ehdr, e_phoff), ElfW(Off){image.size()}), "it holds"},
        {"section headers past the end", patched(offsetof(Ehdr, e_shoff), ElfW(Off){image.size() - 64}), "it holds"},
        {"a section count that wraps around",
         patch(patched(offsetof(Ehdr, e_shnum), ElfW(Half){0}), header.e_shoff + offsetof(ElfW(Shdr), sh_size),
               ElfW(Xword){~ElfW(Xword){0} / 8}),
         "its ELF headers are damaged"},
        {"an escaped program-header count", patched(offsetof(Ehdr, e_phnum), ElfW(Half){PN_XNUM}),
         "its ELF headers are damaged"},
        {"another word size", patched(EI_CLASS, static_cast<unsigned char>(ELFCLASS32)),
         "built for another kind of machine"},
        {"another byte order", patched(EI_DATA, static_cast<unsigned char>(ELFDATA2MSB)),
         "built for another kind of machine"},
        {"another processor",
         patched(offsetof(Ehdr, e_machine),
                 static_cast<ElfW(Half)>(header.e_machine == EM_AARCH64 ? EM_X86_64 : EM_AARCH64)),
         "built for another kind of machine"},
        {"a program rather than a library", patched(offsetof(Ehdr, e_type), ElfW(Half){ET_EXEC}),
         "not a shared library"},
        {"text", "not a library\n", "not an ELF file"},
    };
    for (const auto& [label, bytes, reason] : cases) {
        SCOPED_TRACE(label);
        const auto lines = load(place(bytes));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find(std::string(": ") + reason), std::string::npos) << lines[0];
    }
    // Bytes after everything the headers name do no harm.
    load(place(image + std::string(100, 'x')), true);
}

// Whole headers over broken code or tables: dlopen runs the library's initialisers and relocates
// it, and a copy like these brought the program down there on every start.
TEST_F(VellCoreLibraryFileTest, ACopyWhoseCodeOrDynamicTableIsBrokenIsSkippedAndTheProgramComputesItself) {
    using Shdr = ElfW(Shdr);
    std::vector<Shdr> sections(header.e_shnum);
    std::memcpy(sections.data(), image.data() + header.e_shoff, sections.size() * sizeof(Shdr));
    const auto section = [&](const std::string& name) {
        for (const Shdr& candidate : sections) {
            if (name == image.data() + sections[header.e_shstrndx].sh_offset + candidate.sh_name) return candidate;
        }
        ADD_FAILURE() << "no section " << name;
        return Shdr{};
    };
    std::uint32_t seed = 20260307;
    const auto overwritten = [&](const Shdr& part, bool random) {
        std::string bytes = image;
        for (std::size_t i = 0; i < part.sh_size; ++i) {
            seed = seed * 1664525u + 1013904223u;
            bytes[part.sh_offset + i] = random ? static_cast<char>(seed >> 24) : '\0';
        }
        return bytes;
    };
    const struct {
        const char* label;
        std::string bytes;
    } cases[] = {
        {"a zeroed .text", overwritten(section(".text"), false)},
        {"a random .text", overwritten(section(".text"), true)},
        {"a random .dynamic", overwritten(section(".dynamic"), true)},
    };
    for (const auto& [label, bytes] : cases) {
        SCOPED_TRACE(label);
        const auto path = place(bytes);
        const auto log = std::make_shared<CapturingLogSink>();
        // Alone, it leaves the bridge unavailable, and the analytics compute every answer.
        EXPECT_FALSE(VellCoreBridge({path}, log).isAvailable());
        ASSERT_EQ(log->lines().size(), 1u);
        EXPECT_EQ(log->lines()[0].rfind("Skipped core library " + path + ": ", 0), 0u) << log->lines()[0];
        EXPECT_NE(log->lines()[0].find(" while it loaded, tried in a process of its own ("), std::string::npos)
            << log->lines()[0];
        // Before the built library, it is passed over for that.
        load(path);
    }
}

}  // namespace
}  // namespace ostrel
