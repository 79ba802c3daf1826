#include "ui/controls/CKavoSplitter.h"

#include <QApplication>
#include <QMouseEvent>
#include <QProxyStyle>

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

TEST_F(SplitterFixture, HalfAndClampingAtBothEndsWithAndWithoutClientEdge)
{
    CKavoSplitter edged(nullptr, CKavoSplitter::Orientation::Stacked, true);
    edged.SetMetrics(4, 2);
    edged.resize(300, 400);
    EXPECT_EQ(splitter.GetPosition(), -1);
    const struct
    {
        CKavoSplitter& split;
        int border, half, low, high; // the client edge has a border and no minimum pane
    } cases[] = {{splitter, 0, 198, 4, 400 - 4 - 4}, {edged, 4, 196, 0, 392}};
    for (const auto& item : cases)
    {
        SCOPED_TRACE(item.border);
        EXPECT_EQ(item.split.GetBorder(), item.border);
        EXPECT_TRUE(item.split.SetPosition(-1));
        EXPECT_EQ(item.split.GetPosition(), item.half);
        EXPECT_FALSE(item.split.SetPosition(item.half));
        item.split.SetPosition(-7);
        EXPECT_EQ(item.split.GetPosition(), item.low);
        item.split.SetPosition(5000);
        EXPECT_EQ(item.split.GetPosition(), item.high);
    }
    splitter.SetPosition(-1);
    EXPECT_EQ(first->geometry(), QRect(0, 0, 300, 198));
    EXPECT_EQ(second->geometry(), QRect(0, 202, 300, 198));
    QWidget pane; // two panes only
    EXPECT_FALSE(splitter.SetPane(2, &pane));
    EXPECT_FALSE(splitter.SetPane(-1, &pane));
    EXPECT_EQ(splitter.GetPane(2), nullptr);
}

TEST_F(SplitterFixture, DragStopsAtTheEndAndDoubleClickCentres)
{
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

TEST_F(SplitterFixture, WithoutFullWindowDragALineTracksAndReleaseApplies)
{
    struct CNoOpaqueResize final : QProxyStyle
    {
        int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                      QStyleHintReturn* returned) const override
        {
            return hint == SH_Splitter_OpaqueResize
                       ? 0
                       : QProxyStyle::styleHint(hint, option, widget, returned);
        }
    } style;
    splitter.setStyle(&style);
    splitter.SetMetrics(4, 2);
    splitter.SetPosition(100);
    for (const bool lost : {false, true})
    {
        SCOPED_TRACE(lost);
        SendMouse(splitter, QEvent::MouseButtonPress, QPoint(10, 101), Qt::LeftButton);
        SendMouse(splitter, QEvent::MouseMove, QPoint(10, 201), Qt::LeftButton);
        EXPECT_EQ(splitter.GetPosition(), 100); // the panes keep their size meanwhile
        EXPECT_EQ(first->height(), 100);
        ASSERT_NE(splitter.Tracker(), nullptr);
        EXPECT_TRUE(splitter.Tracker()->isVisible());
        EXPECT_EQ(splitter.Tracker()->geometry(), QRect(0, 200, 300, 4));
        if (lost)
        {
            QEvent deactivate(QEvent::WindowDeactivate);
            QApplication::sendEvent(&splitter, &deactivate);
        }
        else
            SendMouse(splitter, QEvent::MouseButtonRelease, QPoint(10, 201), {});
        EXPECT_FALSE(splitter.Tracker()->isVisible());
        EXPECT_EQ(splitter.GetPosition(), lost ? 100 : 200);
        splitter.SetPosition(100);
        // The drag is over: the pointer moving on changes nothing.
        SendMouse(splitter, QEvent::MouseMove, QPoint(10, 300), {});
        EXPECT_EQ(splitter.GetPosition(), 100);
    }
    splitter.setStyle(nullptr);
}

TEST_F(SplitterFixture, ShowPaneAloneAndBoth)
{
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

TEST_F(SplitterFixture, FirstPaneKeepsItsSizeThroughAShortWindow)
{
    splitter.SetPosition(300);
    splitter.resize(300, 100);
    EXPECT_EQ(splitter.GetPosition(), 92);
    splitter.resize(300, 800);
    EXPECT_EQ(splitter.GetPosition(), 300);
}
