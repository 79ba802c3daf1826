// The "Interface" options page: grid lines of the lists and the alternating row colours.
#pragma once

#include "ui/DialogInput.h"

#include <QWidget>

#include <cstdint>

class CColorPicker;
class CLineExample;
class QCheckBox;
class QComboBox;

class CDlgOptView : public QWidget
{
    Q_OBJECT
public:
    explicit CDlgOptView(MessageFunction message, QWidget* parent = nullptr);
    void Commit();

    QComboBox* StyleBox() const { return m_style; }
    CLineExample* Example() const { return m_example; }
    CColorPicker* LinePicker() const { return m_lineColor; }
    QCheckBox* HilightBox() const { return m_hilight; }
    CColorPicker* FirstPicker() const { return m_first; }
    CColorPicker* SecondPicker() const { return m_second; }

private:
    void Initialise();

    MessageFunction m_message;
    // Members hold the values until Commit; a style matching no entry is kept as it was.
    int m_lineStyle;
    uint32_t m_colorLine;
    uint32_t m_colorFirst;
    uint32_t m_colorSec;
    QComboBox* m_style;
    CLineExample* m_example;
    CColorPicker* m_lineColor;
    QCheckBox* m_hilight;
    CColorPicker* m_first;
    CColorPicker* m_second;
};
