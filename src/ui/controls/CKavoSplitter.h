// Two existing child widgets laid out above and below a horizontal divider the user drags.
#pragma once

#include <QRect>
#include <QWidget>

class CKavoSplitter : public QWidget
{
    Q_OBJECT
public:
    explicit CKavoSplitter(QWidget* parent = nullptr);
    // Stops listening to focus changes before the panes go: destroying a focused pane moves the
    // focus while only the QWidget part of this object is left.
    ~CKavoSplitter() override;

    // The splitter becomes the pane's parent so that it can place it; any index but 0 and 1
    // is refused.
    bool SetPane(int index, QWidget* pane, bool redraw = true);
    QWidget* GetPane(int index) const;
    // nullptr takes the whole widget.
    void SetLayoutRect(const QRect* rect, bool redraw = true);
    // -1 means half of the available extent. Returns whether the position changed.
    bool SetPosition(int position, bool redraw = true);
    int GetPosition() const { return m_position; }
    // The line that follows the pointer during a drag without full-window dragging.
    const QWidget* Tracker() const { return m_tracker; }
    // Shows only that pane, or both with -1.
    void ShowPane(int index);
    int GetShownAlone() const { return m_shownAlone; }

    // The divider thickness and the edge size normally come from the style; tests fix them.
    void SetMetrics(int thickness, int edgeSize);
    int GetThickness() const { return m_thickness; }
    // The layout rectangle's height less the divider.
    int GetAvailableExtent() const;
    bool HitDivider(const QPoint& point) const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void ReadMetrics();
    // Where the divider goes for a pointer at point during a drag.
    int DragPosition(const QPoint& point) const;
    // Ends a drag; apply: the tracked position becomes the split.
    void EndDrag(bool apply);
    void Layout();
    // The lowest the divider can go while the second pane keeps its minimum size.
    int Highest() const;

    QWidget* m_panes[2] = {nullptr, nullptr};
    QRect m_layoutRect;
    bool m_explicitRect = false;
    int m_position = -1;
    int m_wanted = -1; // the last position asked for, kept through a window too short for it
    int m_thickness = 4;
    int m_minPane = 4;
    bool m_fixedMetrics = false;
    int m_shownAlone = -1;
    int m_focusPane = 0;
    QMetaObject::Connection m_focusWatch;
    bool m_dragging = false;
    int m_grabOffset = 0;
    QWidget* m_tracker = nullptr; // the line shown over the panes without full-window dragging
    int m_tracked = -1;
};
