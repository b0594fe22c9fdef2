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
