#include "ui/CRateChart.h"
#include "filters/CFilterFactory.h"

#include <gtest/gtest.h>

// Rates come from the totals' change over the time between two ticks; ten minutes are kept; a
// reset or another filter neither gives a negative rate nor mixes two filters.
TEST(CRateChart, RatesOverTheLastTenMinutesOfTheSelectedFilter)
{
    CFilterFactory factory;
    CFilter* first = factory.NewFilter(true);
    CFilter* second = factory.NewFilter(true);
    CRateChart chart;
    const auto count = [](CFilter* filter, double received, double sent)
    {
        CKavoLock lock(filter->GetLock());
        filter->SetReceived(filter->GetReceived() + received);
        filter->SetSent(filter->GetSent() + sent);
    };
    chart.SampleAt(first, 0.0);
    count(first, 3000, 1000);
    chart.SampleAt(first, 2.0);
    ASSERT_EQ(chart.Samples().size(), 1u);
    EXPECT_EQ(std::pair(chart.Samples().back().received, chart.Samples().back().sent),
              std::pair(1500.0, 500.0));

    for (int tick = 3; tick <= 602; ++tick)
        chart.SampleAt(first, tick);
    EXPECT_EQ(chart.Samples().size(), 601u); // from 2 s to 602 s, both ends included
    chart.SampleAt(first, 603.0);
    EXPECT_EQ(chart.Samples().front().at, 3.0);

    count(first, -first->GetReceived(), 0); // a reset
    chart.SampleAt(first, 604.0);
    EXPECT_EQ(chart.Samples().back().at, 603.0);

    chart.SampleAt(second, 605.0);
    EXPECT_TRUE(chart.Samples().empty());
    count(second, 100, 0);
    chart.SampleAt(second, 606.0);
    ASSERT_EQ(chart.Samples().size(), 1u);
    EXPECT_EQ(chart.Samples().back().received, 100.0);
}
