// Feeds arbitrary bytes to the XML reader, in pieces whose size the input
// chooses, and through the settings file loader.
//
// Build and run from the source root (clang, AddressSanitizer + UBSan):
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
//     -DTOLVAR_BUILD_FUZZERS=ON -DTOLVAR_BUILD_GUI=OFF -DTOLVAR_BUILD_TESTS=OFF \
//     -DTOLVAR_BUILD_BENCHMARKS=OFF
//   cmake --build build-fuzz -j2 --target xml_reader_fuzzer
//   mkdir -p fuzz-corpus-xml
//   build-fuzz/bin/xml_reader_fuzzer fuzz-corpus-xml -max_total_time=60

#include "xml/FileXMLReader.h"
#include "xml/XMLReader.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

class CollectingReader : public XMLReader
{
public:
    std::vector<std::unique_ptr<XMLEntity>> fRoots;

protected:
    void OnEndEntity(std::unique_ptr<XMLEntity> root) override
    {
        fRoots.push_back(std::move(root));
    }
};

bool HasQuoteInAttribute(const XMLEntity& entity)
{
    for (int32 i = 0; i < entity.CountAttributes(); ++i) {
        if (std::string(entity.AttributeValue(i)).find('"') != std::string::npos)
            return true;
    }
    for (int32 i = 0; i < entity.CountChildren(); ++i) {
        if (HasQuoteInAttribute(*entity.Child(i)))
            return true;
    }
    return false;
}

std::unique_ptr<XMLEntity> ReadBack(const std::string& text)
{
    CollectingReader reader;
    reader.FeedData(text.data(), text.size());
    if (reader.NeedsReset() || reader.fRoots.size() != 1)
        std::abort();
    return std::move(reader.fRoots[0]);
}

// The text form of a tree must read back as one tree, and after one round
// (leading white space and the indentation taken as text) it is stable.
// A double quote in an attribute value is written unchanged and so breaks
// the text; such trees are left out.
void CheckRoundTrip(const XMLEntity& root)
{
    std::string text = root.ToString(true, 0);
    if (text.size() > 64 * 1024 || HasQuoteInAttribute(root))
        return;
    std::string once = ReadBack(text)->ToString(true, 0);
    if (ReadBack(once)->ToString(true, 0) != once)
        std::abort();
}

std::string sSettingsPath;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The settings loader traces to standard output; libFuzzer reports on
    // standard error.
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    // On a memory file system, the loader's flushes to disk cost nothing.
    static const std::filesystem::path sDirectory =
        "/dev/shm/xml-reader-fuzzer-" + std::to_string(getpid());
    std::filesystem::create_directories(sDirectory);
    std::atexit([] { std::filesystem::remove_all(sDirectory); });
    sSettingsPath = (sDirectory / "settings.xml").string();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t piece = 1 + data[0] % 64;
    const char* text = reinterpret_cast<const char*>(data + 1);
    const size_t length = size - 1;

    CollectingReader reader;
    for (size_t at = 0; at < length; at += piece)
        reader.FeedData(text + at, std::min(piece, length - at));
    for (const std::unique_ptr<XMLEntity>& root : reader.fRoots)
        CheckRoundTrip(*root);

    {
        std::ofstream file(sSettingsPath, std::ios::binary | std::ios::trunc);
        file.write(text, static_cast<std::streamsize>(length));
    }
    FileXMLReader settings(sSettingsPath, false);
    const int32 status = settings.FileStatus();
    XMLEntity* tree = settings.EntityTree();
    if ((status != FileXMLReader::kStatusRead && status != FileXMLReader::kStatusReplaced) ||
        tree == nullptr || (status == FileXMLReader::kStatusReplaced && tree->CountChildren() != 0))
        std::abort();
    settings.SetData("board-skin", settings.Data("pieces-skin").value_or("Standard"));
    return 0;
}
