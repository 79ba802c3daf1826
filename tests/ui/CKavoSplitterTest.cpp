#include "ui/controls/CKavoSplitter.h"

#include <QApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

namespace
{
void SendMouse(QWidget& widget, QEvent::Type type, QPoint point, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(point), widget.mapToGlobal(QPointF(point)), button, buttons,
                      {});
    QApplication::sendEvent(&widget, &event);
}

struct SplitterFixture : testing::Test
{
    SplitterFixture()
    {
        splitter.SetMetrics(4, 2); // no client edge: border 0, minimum pane 4
        splitter.SetPane(0, first);
        splitter.SetPane(1, second);
        splitter.resize(300, 400);
        splitter.show(); // hidden widgets get no resize events
    }
    CKavoSplitter splitter;
    QWidget* first = new QWidget;
    QWidget* second = new QWidget;
};
} // namespace

TEST_F(SplitterFixture, HalfAndClampingAtBothEnds)
{
    EXPECT_EQ(splitter.GetBorder(), 0);
    EXPECT_EQ(splitter.GetPosition(), -1);
    EXPECT_TRUE(splitter.SetPosition(-1));
    EXPECT_EQ(splitter.GetPosition(), 198);
    EXPECT_EQ(first->geometry(), QRect(0, 0, 300, 198));
    EXPECT_EQ(second->geometry(), QRect(0, 202, 300, 198));
    EXPECT_FALSE(splitter.SetPosition(198));

    splitter.SetPosition(1000);
    EXPECT_EQ(splitter.GetPosition(), 400 - 4 - 4); // leaves the minimum for the second pane
    splitter.SetPosition(-50);
    EXPECT_EQ(splitter.GetPosition(), 4);
}

TEST_F(SplitterFixture, ClientEdgeHasBorderAndNoMinimum)
{
    CKavoSplitter edged(nullptr, CKavoSplitter::Orientation::Stacked, true);
    edged.SetMetrics(4, 2);
    edged.resize(300, 400);
    EXPECT_EQ(edged.GetBorder(), 4);
    edged.SetPosition(-1);
    EXPECT_EQ(edged.GetPosition(), 196);
    edged.SetPosition(-7);
    EXPECT_EQ(edged.GetPosition(), 0);
    edged.SetPosition(5000);
    EXPECT_EQ(edged.GetPosition(), 392);
}

TEST_F(SplitterFixture, DragStopsAtTheEndAndDoubleClickCentres)
{
    splitter.show();
    splitter.SetPosition(100);
    EXPECT_TRUE(splitter.HitDivider(QPoint(10, 100)));
    EXPECT_TRUE(splitter.HitDivider(QPoint(10, 103)));
    EXPECT_FALSE(splitter.HitDivider(QPoint(10, 104)));
    SendMouse(splitter, QEvent::MouseButtonPress, QPoint(10, 102), Qt::LeftButton);
    SendMouse(splitter, QEvent::MouseMove, QPoint(10, 152), Qt::LeftButton);
    EXPECT_EQ(splitter.GetPosition(), 150); // the grab offset of 2 is kept
    SendMouse(splitter, QEvent::MouseMove, QPoint(10, 2000), Qt::LeftButton);
    EXPECT_EQ(splitter.GetPosition(), 392);
    SendMouse(splitter, QEvent::MouseButtonRelease, QPoint(10, 2000), {});
    SendMouse(splitter, QEvent::MouseButtonDblClick, QPoint(10, 393), Qt::LeftButton);
    EXPECT_EQ(splitter.GetPosition(), 198);
}

TEST_F(SplitterFixture, ShowPaneAloneAndBoth)
{
    splitter.show();
    splitter.SetPosition(120);
    splitter.ShowPane(1);
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(second->geometry(), QRect(0, 0, 300, 400));
    EXPECT_FALSE(splitter.HitDivider(QPoint(10, 121)));
    splitter.ShowPane(-1);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(splitter.GetPosition(), 120);
    EXPECT_EQ(first->geometry().height(), 120);
}

TEST_F(SplitterFixture, ResizePolicies)
{
    splitter.SetPosition(100); // first pane keeps its size by default
    splitter.resize(300, 800);
    EXPECT_EQ(splitter.GetPosition(), 100);

    splitter.SetPolicy(CKavoSplitter::KeepRatio);
    splitter.resize(300, 400);
    splitter.SetPosition(99); // a quarter of 396
    splitter.resize(300, 804);
    EXPECT_EQ(splitter.GetPosition(), 200);
    splitter.resize(300, 20); // clamped while small, proportion remembered
    splitter.resize(300, 404);
    EXPECT_EQ(splitter.GetPosition(), 100);

    splitter.SetPolicy(CKavoSplitter::KeepSecondPane);
    splitter.SetPosition(300); // second pane 100
    splitter.resize(300, 604);
    EXPECT_EQ(splitter.GetPosition(), 500);
}

TEST(CKavoSplitter, RefusesOtherPaneIndexes)
{
    CKavoSplitter splitter;
    QWidget pane;
    EXPECT_FALSE(splitter.SetPane(2, &pane));
    EXPECT_FALSE(splitter.SetPane(-1, &pane));
    EXPECT_EQ(splitter.GetPane(2), nullptr);
}
