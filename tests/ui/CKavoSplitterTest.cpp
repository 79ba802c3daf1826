#include "ui/controls/CKavoSplitter.h"

#include <QApplication>
#include <QMouseEvent>
#include <QProxyStyle>

#include <gtest/gtest.h>

namespace
{
struct SplitterFixture : testing::Test
{
    SplitterFixture()
    {
        splitter.SetMetrics(4, 2); // minimum pane 4
        splitter.SetPane(0, first);
        splitter.SetPane(1, second);
        splitter.resize(300, 400);
        splitter.show(); // hidden widgets get no resize events
    }
    // A left-button event at (10, y); buttons held: none for a release or a free move.
    void Mouse(QEvent::Type type, int y, bool held = true)
    {
        const QPointF point(10, y);
        QMouseEvent event(type, point, splitter.mapToGlobal(point),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          held ? Qt::LeftButton : Qt::NoButton, {});
        QApplication::sendEvent(&splitter, &event);
    }
    CKavoSplitter splitter;
    QWidget* first = new QWidget;
    QWidget* second = new QWidget;
};
} // namespace

TEST_F(SplitterFixture, HalfAndClampingAtBothEnds)
{
    EXPECT_EQ(splitter.GetPosition(), -1);
    EXPECT_TRUE(splitter.SetPosition(-1));
    EXPECT_FALSE(splitter.SetPosition(198));
    EXPECT_EQ(first->geometry(), QRect(0, 0, 300, 198));
    EXPECT_EQ(second->geometry(), QRect(0, 202, 300, 198));
    splitter.SetPosition(-7);
    EXPECT_EQ(splitter.GetPosition(), 4);
    splitter.SetPosition(5000);
    EXPECT_EQ(splitter.GetPosition(), 400 - 4 - 4);
    QWidget pane; // two panes only
    EXPECT_FALSE(splitter.SetPane(2, &pane) || splitter.SetPane(-1, &pane));
    EXPECT_EQ(splitter.GetPane(2), nullptr);
}

TEST_F(SplitterFixture, DragStopsAtTheEndAndDoubleClickCentres)
{
    splitter.SetPosition(100);
    EXPECT_TRUE(splitter.HitDivider(QPoint(10, 100)) && splitter.HitDivider(QPoint(10, 103)));
    EXPECT_FALSE(splitter.HitDivider(QPoint(10, 104)));
    Mouse(QEvent::MouseButtonPress, 102);
    Mouse(QEvent::MouseMove, 152);
    EXPECT_EQ(splitter.GetPosition(), 150); // the grab offset of 2 is kept
    Mouse(QEvent::MouseMove, 2000);
    EXPECT_EQ(splitter.GetPosition(), 392);
    Mouse(QEvent::MouseButtonRelease, 2000, false);
    Mouse(QEvent::MouseButtonDblClick, 393);
    EXPECT_EQ(splitter.GetPosition(), 198);
}

// Styles without live resizing drag a line and apply it on release; losing the window cancels.
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
    for (const bool lost : {false, true})
    {
        splitter.SetPosition(100);
        Mouse(QEvent::MouseButtonPress, 101);
        Mouse(QEvent::MouseMove, 201);
        ASSERT_NE(splitter.Tracker(), nullptr);
        EXPECT_EQ(std::pair(first->height(), splitter.Tracker()->geometry()),
                  std::pair(100, QRect(0, 200, 300, 4))); // the panes keep their size meanwhile
        QEvent deactivate(QEvent::WindowDeactivate);
        lost ? (void)QApplication::sendEvent(&splitter, &deactivate)
             : Mouse(QEvent::MouseButtonRelease, 201, false);
        Mouse(QEvent::MouseMove, 300, false); // the drag is over: moving on changes nothing
        EXPECT_EQ(std::pair(splitter.Tracker()->isVisible(), splitter.GetPosition()),
                  std::pair(false, lost ? 100 : 200))
            << lost;
    }
    splitter.setStyle(nullptr);
}

TEST_F(SplitterFixture, ShowPaneAloneAndBothAndAShortWindowKeepsTheFirstPane)
{
    splitter.SetPosition(120);
    splitter.ShowPane(1);
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(second->geometry(), QRect(0, 0, 300, 400));
    EXPECT_FALSE(splitter.HitDivider(QPoint(10, 121)));
    splitter.ShowPane(-1);
    EXPECT_EQ(std::pair(first->isVisible(), first->geometry().height()), std::pair(true, 120));

    splitter.SetPosition(300);
    splitter.resize(300, 100);
    EXPECT_EQ(splitter.GetPosition(), 92);
    splitter.resize(300, 800);
    EXPECT_EQ(splitter.GetPosition(), 300);
}
