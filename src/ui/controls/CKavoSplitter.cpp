#include "ui/controls/CKavoSplitter.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <qdrawutil.h>

#include <algorithm>

CKavoSplitter::CKavoSplitter(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::SizeVerCursor);
    setFocusPolicy(Qt::ClickFocus);
    setAutoFillBackground(false);
    ReadMetrics();
    m_focusWatch = connect(qApp, &QApplication::focusChanged, this,
                           [this](QWidget*, QWidget* now)
                           {
                               for (int i = 0; i < 2; ++i)
                                   if (m_panes[i] != nullptr && now != nullptr &&
                                       m_panes[i]->isAncestorOf(now))
                                       m_focusPane = i;
                           });
}

CKavoSplitter::~CKavoSplitter()
{
    disconnect(m_focusWatch);
}

void CKavoSplitter::ReadMetrics()
{
    if (m_fixedMetrics)
        return;
    m_thickness = std::max(4, style()->pixelMetric(QStyle::PM_SplitterWidth, nullptr, this));
    m_minPane = 4; // twice the edge size
}

void CKavoSplitter::SetMetrics(int thickness, int edgeSize)
{
    m_fixedMetrics = true;
    m_thickness = thickness;
    m_minPane = 2 * edgeSize;
    Layout();
}

bool CKavoSplitter::SetPane(int index, QWidget* pane, bool redraw)
{
    if (index != 0 && index != 1)
        return false;
    m_panes[index] = pane;
    if (pane != nullptr && pane->parentWidget() != this)
        pane->setParent(this);
    if (pane != nullptr)
        pane->setVisible(m_shownAlone == -1 || m_shownAlone == index);
    if (redraw)
        Layout();
    return true;
}

QWidget* CKavoSplitter::GetPane(int index) const
{
    return index == 0 || index == 1 ? m_panes[index] : nullptr;
}

void CKavoSplitter::SetLayoutRect(const QRect* rect, bool redraw)
{
    m_explicitRect = rect != nullptr;
    m_layoutRect = rect != nullptr ? *rect : QRect(QPoint(0, 0), size());
    if (redraw)
        Layout();
}

int CKavoSplitter::GetAvailableExtent() const
{
    return m_layoutRect.height() - m_thickness;
}

int CKavoSplitter::Highest() const
{
    return m_layoutRect.height() - m_thickness - m_minPane;
}

bool CKavoSplitter::SetPosition(int position, bool redraw)
{
    // A hidden widget gets its resize event only when shown; its size is already known.
    if (!m_explicitRect)
        m_layoutRect = QRect(QPoint(0, 0), size());
    const int available = GetAvailableExtent();
    if (position == -1)
        position = available / 2;
    position = std::max(m_minPane, std::min(position, Highest()));
    const bool changed = position != m_position;
    m_position = position;
    m_wanted = position;
    if (redraw)
        Layout();
    return changed;
}

void CKavoSplitter::ShowPane(int index)
{
    m_shownAlone = (index == 0 || index == 1) ? index : -1;
    for (int i = 0; i < 2; ++i)
        if (m_panes[i] != nullptr)
            m_panes[i]->setVisible(m_shownAlone == -1 || m_shownAlone == i);
    Layout();
}

bool CKavoSplitter::HitDivider(const QPoint& point) const
{
    if (m_shownAlone != -1 || m_position == -1 || !m_layoutRect.contains(point))
        return false;
    const int offset = point.y() - m_layoutRect.top();
    return offset >= m_position && offset < m_position + m_thickness;
}

void CKavoSplitter::Layout()
{
    if (m_shownAlone != -1)
    {
        if (m_panes[m_shownAlone] != nullptr)
            m_panes[m_shownAlone]->setGeometry(m_layoutRect);
        update();
        return;
    }
    const int position = std::max(0, m_position);
    QRect first = m_layoutRect;
    QRect second = m_layoutRect;
    first.setHeight(position);
    second.setTop(m_layoutRect.top() + position + m_thickness);
    if (m_panes[0] != nullptr)
        m_panes[0]->setGeometry(first);
    if (m_panes[1] != nullptr)
        m_panes[1]->setGeometry(second);
    update();
}

void CKavoSplitter::resizeEvent(QResizeEvent*)
{
    if (!m_explicitRect)
        m_layoutRect = QRect(QPoint(0, 0), size());
    if (m_position != -1)
    {
        // The first pane keeps its size. Clamp without rewriting the wanted position: a window
        // shrunk to nothing must find the old divider again when it grows back.
        m_position = std::max(m_minPane, std::min(m_wanted, Highest()));
    }
    Layout();
}

void CKavoSplitter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QBrush workspaceBrush = palette().brush(QPalette::Dark);
    for (int i = 0; i < 2; ++i)
        if (m_panes[i] == nullptr || !m_panes[i]->isVisible())
        {
            if (m_shownAlone != -1 && m_shownAlone != i)
                continue;
            QRect area = m_layoutRect;
            if (m_shownAlone == -1)
            {
                const int position = std::max(0, m_position);
                i == 0 ? area.setHeight(position)
                       : area.setTop(m_layoutRect.top() + position + m_thickness);
            }
            // An absent pane shows as a sunken, empty area.
            qDrawShadePanel(&painter, area, palette(), true, 2, &workspaceBrush);
        }
    if (m_shownAlone != -1 || m_position == -1)
        return;
    painter.fillRect(QRect(m_layoutRect.left(), m_layoutRect.top() + m_position,
                           m_layoutRect.width(), m_thickness),
                     palette().color(QPalette::Button));
}

void CKavoSplitter::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !HitDivider(event->position().toPoint()))
    {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragging = true;
    m_grabOffset = event->position().toPoint().y() - m_layoutRect.top() - m_position;
    m_tracked = m_position;
    grabMouse();
}

int CKavoSplitter::DragPosition(const QPoint& point) const
{
    const int position = point.y() - m_grabOffset - m_layoutRect.top();
    return std::max(m_minPane, std::min(position, Highest()));
}

void CKavoSplitter::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging)
        return;
    const int position = DragPosition(event->position().toPoint());
    if (style()->styleHint(QStyle::SH_Splitter_OpaqueResize, nullptr, this) != 0)
    {
        SetPosition(position, true);
        return;
    }
    // Without full-window dragging the panes keep their size until the button is released;
    // a line drawn over them shows where the divider will go.
    m_tracked = position;
    if (m_tracker == nullptr)
    {
        m_tracker = new QWidget(this);
        m_tracker->setAutoFillBackground(true);
        m_tracker->setAttribute(Qt::WA_TransparentForMouseEvents);
        QPalette shade = m_tracker->palette();
        shade.setColor(QPalette::Window, palette().color(QPalette::Shadow));
        m_tracker->setPalette(shade);
    }
    m_tracker->setGeometry(QRect(m_layoutRect.left(), m_layoutRect.top() + position,
                                 m_layoutRect.width(), m_thickness));
    m_tracker->show();
    m_tracker->raise();
}

void CKavoSplitter::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragging)
    {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    EndDrag(true);
}

void CKavoSplitter::EndDrag(bool apply)
{
    if (!m_dragging)
        return;
    m_dragging = false;
    if (QWidget::mouseGrabber() == this)
        releaseMouse();
    const bool tracking = m_tracker != nullptr && m_tracker->isVisible();
    if (m_tracker != nullptr)
        m_tracker->hide();
    if (apply && tracking)
        SetPosition(m_tracked == -1 ? -2 : m_tracked, true);
    else
        Layout();
}

bool CKavoSplitter::event(QEvent* event)
{
    // The window lost the pointer to another one (activation moved, or the splitter went):
    // the drag ends where it is.
    switch (event->type())
    {
    case QEvent::WindowDeactivate:
    case QEvent::Hide:
    case QEvent::UngrabMouse:
        EndDrag(false);
        break;
    case QEvent::ActivationChange:
        if (!isActiveWindow())
            EndDrag(false);
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void CKavoSplitter::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (HitDivider(event->position().toPoint()))
        SetPosition(-1, true);
}

void CKavoSplitter::focusInEvent(QFocusEvent*)
{
    const int index = m_shownAlone != -1 ? m_shownAlone : m_focusPane;
    if (m_panes[index] != nullptr && m_panes[index]->isVisible())
        m_panes[index]->setFocus();
}

void CKavoSplitter::changeEvent(QEvent* event)
{
    // A change of the desktop's settings (fonts, palette, metrics) is read like a new style.
    const QEvent::Type type = event->type();
    if (type == QEvent::StyleChange || type == QEvent::FontChange ||
        type == QEvent::PaletteChange || type == QEvent::ApplicationFontChange ||
        type == QEvent::ApplicationPaletteChange)
    {
        ReadMetrics();
        Layout();
    }
    QWidget::changeEvent(event);
}
