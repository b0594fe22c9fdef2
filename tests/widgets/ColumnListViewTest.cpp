#include "widgets/ColumnListView.h"

#include <QHeaderView>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

// A row of fixed texts.
class TextRow : public CLVListItem
{
public:
    explicit TextRow(QStringList texts) : fTexts(std::move(texts)) {}
    void DrawItemColumn(QPainter*, const QRect&, int, bool) const override {}
    QString ColumnText(int column) const override { return fTexts.value(column); }
    QString First() const { return fTexts.value(0); }

private:
    QStringList fTexts;
};

std::unique_ptr<CLVListItem> Row(const QString& a, const QString& b)
{
    return std::make_unique<TextRow>(QStringList{a, b});
}

QString OwnerText(const ColumnListView& list, int index)
{
    return static_cast<TextRow*>(list.ItemAt(index))->First();
}

// The first column's texts in the order the view shows them.
QStringList ShownTexts(const ColumnListView& list)
{
    QStringList texts;
    for (int row = 0; row < list.model()->rowCount(); ++row)
        texts << list.model()->index(row, 0).data().toString();
    return texts;
}

} // namespace

// Thousands of rows added and removed anywhere, against a plain vector:
// the owner's order, the indexes and the shown order (sorted or not) agree.
TEST(ColumnListView, ManyRowsAnywhereKeepTheOwnersOrder)
{
    ColumnListView list;
    list.AddColumn("A", 40, 40);
    std::vector<CLVListItem*> oracle;
    std::mt19937 random(20240601);
    auto check = [&](const char* when) {
        ASSERT_EQ(list.CountItems(), static_cast<int>(oracle.size())) << when;
        for (size_t i = 0; i < oracle.size(); i += 1 + random() % 7) {
            ASSERT_EQ(list.ItemAt(static_cast<int>(i)), oracle[i]) << when << " at " << i;
            ASSERT_EQ(list.IndexOf(oracle[i]), static_cast<int>(i)) << when << " at " << i;
        }
        QStringList shown = ShownTexts(list);
        QStringList expected;
        for (CLVListItem* item : oracle)
            expected << item->ColumnText(0);
        if (list.Header()->isSortIndicatorShown())
            std::stable_sort(
                expected.begin(), expected.end(),
                [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
        ASSERT_EQ(shown, expected) << when;
    };
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 3000; ++i) {
            int at = static_cast<int>(random() % (oracle.size() + 1));
            auto row = Row(QString::number(random() % 100000), "");
            oracle.insert(oracle.begin() + at, row.get());
            list.AddItem(std::move(row), at);
        }
        check("after adding");
        for (int i = 0; i < 1000; ++i) {
            int at = static_cast<int>(random() % oracle.size());
            EXPECT_EQ(list.RemoveItem(at).get(), oracle[static_cast<size_t>(at)]);
            oracle.erase(oracle.begin() + at);
        }
        check("after removing");
        // The second round runs sorted by the numbers shown.
        list.SortShownRows(0, Qt::AscendingOrder);
        check("sorted");
    }
}

TEST(ColumnListView, HeaderClicksSortOnlyWhatIsShownAndTheThirdRestoresTheOwnersOrder)
{
    ColumnListView list;
    list.AddColumn("Name", 60, 60);
    list.AddColumn("Rating", 60, 60);
    list.AddItem(Row("carl", "1500"));
    list.AddItem(Row("Alice", "900"));
    list.AddItem(Row("bob", "1200"));
    list.resize(200, 200);
    list.show();
    QHeaderView* header = list.Header();

    auto clickHeader = [&](int section) {
        QRect area(header->sectionViewportPosition(section), 0, header->sectionSize(section),
                   header->height());
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, area.center());
    };
    clickHeader(0);
    EXPECT_EQ(ShownTexts(list), (QStringList{"Alice", "bob", "carl"}));
    clickHeader(0);
    EXPECT_EQ(ShownTexts(list), (QStringList{"carl", "bob", "Alice"}));
    // Whatever is shown, indexes stay the owner's.
    EXPECT_EQ(OwnerText(list, 0), "carl");
    list.Select(1);
    EXPECT_EQ(list.CurrentSelection(), 1);
    EXPECT_EQ(list.selectionModel()->selectedRows().first().row(), 2);
    clickHeader(0);
    EXPECT_EQ(ShownTexts(list), (QStringList{"carl", "Alice", "bob"}));

    // Numbers sort as numbers: 900 < 1200 < 1500.
    clickHeader(1);
    EXPECT_EQ(ShownTexts(list), (QStringList{"Alice", "bob", "carl"}));
    // A row added while sorted is shown in sorted place, owner's index 0.
    list.AddItem(Row("dave", "1000"), 0);
    EXPECT_EQ(ShownTexts(list), (QStringList{"Alice", "dave", "bob", "carl"}));
    EXPECT_EQ(OwnerText(list, 0), "dave");
}

TEST(ColumnListView, DoubleClickAndEnterInvokeTheRowInTheOwnersOrder)
{
    ColumnListView list;
    list.AddColumn("A", 80, 80);
    list.AddItem(Row("x", ""));
    list.AddItem(Row("y", ""));
    list.AddItem(Row("z", ""));
    list.SortShownRows(0, Qt::DescendingOrder);
    std::vector<int> invoked;
    list.SetInvocationHandler([&](int index) { invoked.push_back(index); });
    list.resize(200, 200);
    list.show();

    // Shown first is "z", the owner's row 2.
    QRect first = list.visualRect(list.model()->index(0, 0));
    QTest::mousePress(list.viewport(), Qt::LeftButton, {}, first.center());
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, first.center());
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, first.center());
    list.Select(0);
    QTest::keyClick(&list, Qt::Key_Return);
    list.DeselectAll();
    QTest::keyClick(&list, Qt::Key_Enter);
    EXPECT_EQ(invoked, (std::vector<int>{2, 0}));
}
