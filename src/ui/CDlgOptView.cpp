#include "ui/CDlgOptView.h"

#include "platform/Settings.h"
#include "ui/controls/CColorPicker.h"
#include "ui/controls/CGroupStatic.h"
#include "ui/controls/CLineExample.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <exception>

CDlgOptView::CDlgOptView(MessageFunction message, QWidget* parent)
    : QWidget(parent), m_message(std::move(message)), m_lineStyle(V_LineStyle),
      m_colorLine(static_cast<uint32_t>(V_ColorLine)),
      m_colorFirst(static_cast<uint32_t>(V_ColorFirst)),
      m_colorSec(static_cast<uint32_t>(V_ColorSec))
{
    m_style = new QComboBox(this);
    m_example = new CLineExample(this);
    m_lineColor = new CColorPicker(this);
    m_hilight = new QCheckBox(QStringLiteral("Enable colors"), this);
    m_first = new CColorPicker(this);
    m_second = new CColorPicker(this);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Line style"), this), 0, 0);
    grid->addWidget(m_style, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Example"), this), 0, 2);
    grid->addWidget(m_example, 0, 3, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Line color"), this), 1, 0);
    grid->addWidget(m_lineColor, 1, 1);
    auto* colors = new QGridLayout;
    colors->addWidget(m_hilight, 0, 0, 1, 2);
    colors->addWidget(new QLabel(QStringLiteral(" Color 1"), this), 1, 0);
    colors->addWidget(m_first, 1, 1);
    colors->addWidget(new QLabel(QStringLiteral("Color 2"), this), 2, 0);
    colors->addWidget(m_second, 2, 1);
    colors->setColumnStretch(2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new CGroupStatic(QStringLiteral("Grid Lines"), this));
    layout->addLayout(grid);
    layout->addWidget(new CGroupStatic(QStringLiteral("Highlight"), this));
    layout->addLayout(colors);
    layout->addStretch();

    try
    {
        Initialise();
    }
    catch (const std::exception&)
    {
        m_message(this,
                  QStringLiteral("Sorry, an exception error was occured in the interface dialog!"));
    }
}

void CDlgOptView::Initialise()
{
    const struct
    {
        const char* name;
        int value;
    } styles[] = {{"No lines", -1}, {"Solid", 0}, {"Dot", 2}, {"Dash", 1}, {"Dash Dot", 3}};
    for (const auto& style : styles)
        m_style->addItem(QString::fromLatin1(style.name), style.value);
    m_style->setCurrentIndex(m_style->findData(m_lineStyle));
    m_lineColor->SetColorRef(m_colorLine);
    m_first->SetColorRef(m_colorFirst);
    m_second->SetColorRef(m_colorSec);
    m_hilight->setChecked(V_ColorHilight != 0);
    m_example->SetLineStyle(m_lineStyle);
    m_example->SetLineColor(CColorPicker::ColorOfRef(m_colorLine));

    connect(m_style, &QComboBox::currentIndexChanged, this,
            [this](int index)
            {
                if (index < 0)
                    return;
                m_lineStyle = m_style->itemData(index).toInt();
                m_example->SetLineStyle(m_lineStyle);
            });
    connect(m_lineColor, &CColorPicker::ColorChanged, this,
            [this](uint32_t color)
            {
                m_colorLine = color;
                m_example->SetLineColor(CColorPicker::ColorOfRef(color));
            });
    connect(m_first, &CColorPicker::ColorChanged, this,
            [this](uint32_t color) { m_colorFirst = color; });
    connect(m_second, &CColorPicker::ColorChanged, this,
            [this](uint32_t color) { m_colorSec = color; });
}

void CDlgOptView::Commit()
{
    V_ColorLine = static_cast<int32_t>(m_colorLine);
    V_LineStyle = m_lineStyle;
    V_ColorFirst = static_cast<int32_t>(m_colorFirst);
    V_ColorSec = static_cast<int32_t>(m_colorSec);
    V_ColorHilight = m_hilight->isChecked() ? 1 : 0;
}
