#include "xml/XMLEntity.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::unique_ptr<XMLEntity> Container()
{
    return std::make_unique<XMLEntity>("container");
}

} // namespace

TEST(XMLEntityText, ToStringWritesTheExactLayout)
{
    const char* attributes[] = {"k", "a<b&c", "q", "say \"hi\"", nullptr, nullptr};
    struct Case
    {
        const char* what;
        std::unique_ptr<XMLEntity> entity;
        int32 depth;
        const char* expected;
    } cases[] = {
        {"empty root", Container(), 0, "<container/>\n"},
        {"empty at depth 2", Container(), 2, "\t\t<container/>\n"},
        {"two text children", Container(), 0,
         "<container>\n\t<a>1</a>\n\t<b>2</b>\n</container>\n"},
        {"escaped attributes", std::make_unique<XMLEntity>("e", attributes), 0,
         "<e k=\"a&lt;b&amp;c\" q=\"say &quot;hi&quot;\"/>\n"},
        {"text set, then emptied", Container(), 0, "<container/>\n"},
        {"text and nested children", Container(), 1,
         "\t<container>x&gt;y\n\t\t<a>\n\t\t\t<b/>\n\t\t</a>\n\t</container>\n"},
    };
    cases[2].entity->AddChild("a", nullptr, "1");
    cases[2].entity->AddChild("b", nullptr, "2");
    cases[4].entity->SetCharacterData("v");
    cases[4].entity->SetCharacterData("");
    cases[5].entity->SetCharacterData("x>y");
    cases[5].entity->AddChild("a", nullptr, nullptr)->AddChild("b", nullptr, "");

    for (const Case& c : cases)
        EXPECT_EQ(c.entity->ToString(true, c.depth), c.expected) << c.what;

    EXPECT_STREQ(cases[4].entity->CharacterData(), "");
    EXPECT_EQ(cases[3].entity->StartToString(false),
              "<e k=\"a&lt;b&amp;c\" q=\"say &quot;hi&quot;\">");
    EXPECT_EQ(cases[0].entity->StartToString(true), "<container>");
    EXPECT_EQ(cases[0].entity->EndToString(), "</container>");
}

TEST(XMLEntityText, EscapingRoundTrips)
{
    EXPECT_EQ(XMLEntity::EscapeText("&lt;"), "&amp;lt;");
    EXPECT_EQ(XMLEntity::DeEscapeText("&amp;lt;"), "&lt;");
    EXPECT_EQ(XMLEntity::EscapeText("<a href='x'>\"&\"</a>"),
              "&lt;a href='x'&gt;\"&amp;\"&lt;/a&gt;");
    // Texts that are not one of the three entities pass unchanged.
    EXPECT_EQ(XMLEntity::DeEscapeText("&quot; & &am &gt &lt;;"), "&quot; & &am &gt <;");

    for (const char* text : {"", "plain", "&", "&&amp;", "&lt;&gt;&amp;", "<<>>", "a&b<c>d",
                             "&amp;amp;", "trailing &", "&lt", "\t\n <x/> \n", "\r\n&#13;"}) {
        std::string escaped = XMLEntity::EscapeText(text);
        EXPECT_EQ(escaped.find_first_of("<>"), std::string::npos) << text;
        EXPECT_EQ(XMLEntity::DeEscapeText(escaped), text);
    }
}

TEST(XMLEntityTree, LookupsIgnoreLetterCase)
{
    const char* attributes[] = {"Colour", "white", "colour", "black", nullptr, nullptr};
    XMLEntity root("container", attributes);
    root.AddChild("board-skin", nullptr, "Marble");
    root.AddChild("empty", nullptr, nullptr);

    EXPECT_STREQ(root.Child("BOARD-SKIN")->Name(), "board-skin");
    EXPECT_STREQ(root.ChildData("Board-Skin"), "Marble");
    EXPECT_STREQ(root.ChildData("empty"), "");
    EXPECT_EQ(root.ChildData("missing"), nullptr);
    EXPECT_EQ(root.Child(static_cast<const char*>(nullptr)), nullptr);
    EXPECT_EQ(root.Child("board-ski"), nullptr);

    EXPECT_STREQ(root.Attribute("COLOUR"), "white"); // the first matching pair
    EXPECT_EQ(root.Attribute("size"), nullptr);
    EXPECT_EQ(root.Child(0)->Parent(), &root);
}

TEST(XMLEntityTree, RemovalTakesOnlyTheFirstMatchAndKeepsTheOrder)
{
    XMLEntity root("container");
    root.AddChild("a", nullptr, "1");
    root.AddChild("b", nullptr, "first");
    root.AddChild("c", nullptr, "3");
    root.AddChild("B", nullptr, "second");

    root.RemoveChild("b");
    ASSERT_EQ(root.CountChildren(), 3);
    EXPECT_EQ(root.ToString(true, 0),
              "<container>\n\t<a>1</a>\n\t<c>3</c>\n\t<B>second</B>\n</container>\n");
    root.RemoveChild("nothing");
    EXPECT_EQ(root.CountChildren(), 3);

    root.RemoveChild(root.Child(1));
    EXPECT_EQ(root.ToString(true, 0), "<container>\n\t<a>1</a>\n\t<B>second</B>\n</container>\n");
    XMLEntity stranger("a");
    root.RemoveChild(&stranger);
    EXPECT_EQ(root.CountChildren(), 2);

    root.Child(0)->RemoveSelf();
    EXPECT_EQ(root.ToString(true, 0), "<container>\n\t<B>second</B>\n</container>\n");

    // A root made with new and owned by nobody destroys itself, subtree included.
    auto* loose = new XMLEntity("loose");
    loose->AddChild("child", nullptr, "x");
    loose->RemoveSelf();
}

TEST(XMLEntityTree, DestroyingAVeryDeepTreeDoesNotRecurse)
{
    // Deep enough that one stack frame per level would overflow the stack.
    auto root = Container();
    XMLEntity* node = root.get();
    for (int i = 0; i < 300'000; ++i)
        node = node->AddChild("n", nullptr, nullptr);
    EXPECT_EQ(root->Child(0)->Child(0)->Parent(), root->Child(0));
    root.reset();
}
