// The RF graph's data and rules: the ring, the plotting formulas with their -120 rules, Ec/Io, block texts,
// and the window's layout at its smallest and a large size.
#include <gtest/gtest.h>

#include <map>

#include "manager/core/RfGraphModel.h"

namespace velmo::manager::rf {
namespace {

TEST(RfGraph, RingKeepsTheNewest200OldestFirst) {
    GraphData d;
    EXPECT_FALSE(d.Active(3));
    for (int i = 0; i < 201; ++i) {
        d.Append(3, i);
    }
    d.Append(GraphData::kSeries, 1);  // no such series: ignored
    EXPECT_TRUE(d.Active(3));
    EXPECT_EQ(d.Count(3), 200);
    EXPECT_EQ(d.Sample(3, 0), 1);  // the 201st replaced the oldest
    EXPECT_EQ(d.Sample(3, 199), 200);
    EXPECT_EQ(GridValues().size(), 9u);
}

TEST(RfGraph, PlotFormulasEcIoAndBlockTexts) {
    EXPECT_EQ(PowerPlot(-120), 10);
    EXPECT_EQ(PowerPlot(40), 90);
    EXPECT_EQ(TxClosedPlot(-120), 9.5);
    EXPECT_EQ(TxPilotPlot(-80, -120), (-80 + 121) * 0.5 + 10);
    EXPECT_EQ(TxPilotPlot(-80, -70), PowerPlot(-80));
    EXPECT_EQ(DrcPlot(0), 10);
    EXPECT_EQ(DrcPlot(12), 90);
    EXPECT_EQ(DrcPlot(13), 100);  // beyond the table: the top of the scale
    EXPECT_EQ(EcIoText(512), "-0.00 ");
    EXPECT_EQ(EcIoText(4), "-0.00 ");
    EXPECT_EQ(EcIoText(300), "-2.86 ");

    RfBlock block;
    block.fill(-1);
    EXPECT_FALSE(BlockText(block, false));  // the text shown stays
    block[0] = 168;
    block[1] = 236;
    EXPECT_EQ(BlockText(block, false), QStringLiteral("168 236 "));
    block[0] = 300;
    block[1] = -1;
    block[2] = 5;  // after the end of the list
    EXPECT_EQ(BlockText(block, true), QStringLiteral("-2.86 "));
}

QRect Design(int id) {
    for (const LayoutEntry& e : LayoutEntries()) {
        if (e.id == id) {
            return e.design;
        }
    }
    return {};
}

TEST(RfGraph, LayoutAtTheSmallestAndALargeSize) {
    for (const QSize size : {QSize(500, 380), QSize(1000, 900)}) {
        const auto rects = RfLayout(size);
        ASSERT_EQ(rects.size(), LayoutEntries().size() + 2);
        std::map<int, QRect> at;
        for (size_t i = 0; i < rects.size(); ++i) {
            const QRect& r = rects[i].second;
            EXPECT_FALSE(r.isEmpty()) << rects[i].first << " at " << size.width();
            EXPECT_TRUE(QRect(QPoint(0, 0), size).contains(r)) << rects[i].first;
            for (size_t j = 0; j < i; ++j) {
                EXPECT_FALSE(r.intersects(rects[j].second)) << rects[i].first << " and " << rects[j].first;
            }
            at[rects[i].first] = r;
        }
        // The right column keeps its distance from the right edge and its width; the axis column from the
        // left.
        EXPECT_EQ(size.width() - at[kRxValue].right(), 500 - Design(kRxValue).right());
        EXPECT_EQ(at[kRxValue].width(), Design(kRxValue).width());
        EXPECT_EQ(at[kDrcAxisFirst].left(), 5);
        // The graphs: from the active set label's top to the button's bottom, split at the middle, 5 px left
        // of the column.
        const int middle = (at[kActiveLabel].top() + at[kStart].bottom() + 1) / 2;
        EXPECT_EQ(at[kDrcGraph].top(), at[kActiveLabel].top());
        EXPECT_EQ(at[kDrcGraph].bottom() + 1, middle - 5);
        EXPECT_EQ(at[kPowerGraph].top(), middle + 5);
        EXPECT_EQ(at[kPowerGraph].bottom(), at[kStart].bottom());
        EXPECT_EQ(at[kDrcGraph].right() + 1, at[kActiveValue].left() - 5);
        EXPECT_GE(at[kDrcGraph].width(), 200);
    }
    // Below 400 px the value fields lose 3 px; in a tall window the dBm labels move up.
    EXPECT_EQ(RfLayout(QSize(500, 380))[1].second.height(), 17);
    EXPECT_EQ(RfLayout(QSize(500, 420))[1].second.height(), 20);
    for (const auto& [id, r] : RfLayout(QSize(1000, 900))) {
        if (id == kPowerAxisFirst) {
            EXPECT_EQ(r.top(), qRound(Design(id).top() * 900.0 / 380) - 25);
        }
    }
}

}  // namespace
}  // namespace velmo::manager::rf
