#include "xml/XMLReader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Keeps every finished root and counts the tag callbacks.
class RecordingReader : public XMLReader
{
public:
    void Feed(const std::string& text) { FeedData(text.data(), text.size()); }
    void FeedInPieces(const std::string& text, size_t size)
    {
        for (size_t at = 0; at < text.size(); at += size)
            FeedData(text.data() + at, std::min(size, text.size() - at));
    }

    int fStarts = 0;
    int fEnds = 0;
    std::vector<std::unique_ptr<XMLEntity>> fRoots;

protected:
    void OnStartTag(XMLEntity*) override { ++fStarts; }
    void OnEndTag(XMLEntity* entity) override
    {
        EXPECT_TRUE(entity->IsCompleted());
        ++fEnds;
    }
    void OnEndEntity(std::unique_ptr<XMLEntity> root) override
    {
        fRoots.push_back(std::move(root));
    }
};

} // namespace

TEST(XMLReader, PiecesOfAnySizeGiveTheSameTree)
{
    const std::string text = "<?xml version=\"1.0\"?>\n<container k=\"1 &lt; 2\">\n"
                             "\t<last-username>me &amp; you</last-username>\n"
                             "\t<a><b>deep</b>\n\t</a>\n\t<flag/>\n</container>\n";
    RecordingReader whole;
    whole.Feed(text);
    ASSERT_EQ(whole.fRoots.size(), 1u);
    EXPECT_EQ(whole.fStarts, 5);
    EXPECT_EQ(whole.fEnds, 5);
    EXPECT_EQ(whole.fRoots[0]->Parent(), nullptr);
    EXPECT_STREQ(whole.fRoots[0]->Attribute("k"), "1 < 2");
    EXPECT_STREQ(whole.fRoots[0]->ChildData("last-username"), "me & you");
    const std::string expected = whole.fRoots[0]->ToString(true, 0);

    for (size_t size = 1; size <= text.size(); ++size) {
        RecordingReader reader;
        reader.FeedInPieces(text, size);
        ASSERT_EQ(reader.fRoots.size(), 1u) << "pieces of " << size;
        EXPECT_EQ(reader.fRoots[0]->ToString(true, 0), expected) << "pieces of " << size;
    }
}

TEST(XMLReader, KeepsOnlyTheTextAfterTheLastChildWithoutLeadingSpaces)
{
    RecordingReader reader;
    reader.Feed("<r><a>  x  </a><b>\t y</b><c>before<d/>after </c><e> \n </e></r>");
    ASSERT_EQ(reader.fRoots.size(), 1u);
    const XMLEntity& root = *reader.fRoots[0];
    EXPECT_STREQ(root.ChildData("a"), "x  ");
    EXPECT_STREQ(root.ChildData("b"), "\t y");
    EXPECT_STREQ(root.ChildData("c"), "after ");
    EXPECT_STREQ(root.ChildData("e"), "");
    EXPECT_STREQ(root.Data(), "");
}

TEST(XMLReader, StartsOverAfterMalformedInputOrReset)
{
    RecordingReader reader;
    reader.Feed("<container><a>x</b>");
    EXPECT_TRUE(reader.NeedsReset());
    reader.Feed("<container><a>y</a></container>");
    EXPECT_FALSE(reader.NeedsReset());
    ASSERT_EQ(reader.fRoots.size(), 1u);
    EXPECT_STREQ(reader.fRoots[0]->ChildData("a"), "y");

    // An unfinished document is dropped by Reset and yields no root.
    reader.Feed("<container><a>unfinished");
    EXPECT_EQ(reader.fRoots.size(), 1u);
    reader.Reset();
    reader.Feed("<other/>");
    ASSERT_EQ(reader.fRoots.size(), 2u);
    EXPECT_STREQ(reader.fRoots[1]->Name(), "other");

    // Data after the root is an error.
    reader.Reset();
    reader.Feed("<one/><two/>");
    EXPECT_TRUE(reader.NeedsReset());
}

TEST(XMLReader, InputAndContentAreBounded)
{
    RecordingReader reader;
    std::string text = "<container>" + std::string(XMLReader::kMaxInputBytes, 'x');
    reader.FeedInPieces(text, 64 * 1024);
    EXPECT_TRUE(reader.NeedsReset());

    // A small document whose entities expand past the content limit.
    const std::string value(1000, 'v');
    std::string expanding = "<!DOCTYPE r [<!ENTITY e \"" + value + "\">]><r>";
    for (size_t i = 0; i < XMLReader::kMaxContentBytes / value.size() + 10; ++i)
        expanding += "&e;";
    expanding += "</r>";
    ASSERT_LT(expanding.size(), XMLReader::kMaxInputBytes);
    reader.Feed(expanding);
    EXPECT_TRUE(reader.NeedsReset());
    EXPECT_TRUE(reader.fRoots.empty());

    // Nested entities that would expand a billion times must be stopped, not expanded.
    std::string laughs = "<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\">";
    for (char c = 'b'; c <= 'j'; ++c) {
        laughs += std::string("<!ENTITY ") + c + " \"";
        for (int i = 0; i < 10; ++i)
            laughs += std::string("&") + static_cast<char>(c - 1) + ";";
        laughs += "\">";
    }
    laughs += "]><r>&j;</r>";
    reader.Feed(laughs);
    EXPECT_TRUE(reader.NeedsReset());
    EXPECT_TRUE(reader.fRoots.empty());

    reader.Feed("<ok/>");
    EXPECT_EQ(reader.fRoots.size(), 1u);
}
