// A colour button that drops down a palette; holds its colour as a 0x00BBGGRR value, the form the
// settings keep.
#pragma once

#include <QPushButton>

#include <cstdint>

class CColorPicker : public QPushButton
{
    Q_OBJECT
public:
    explicit CColorPicker(QWidget* parent = nullptr);

    void SetColorRef(uint32_t color);
    uint32_t GetColorRef() const { return m_color; }
    QColor GetColor() const;
    // Applies a choice as the palette does (emits ColorChanged when it differs).
    void Choose(const QColor& color);

    static uint32_t ColorRefOf(const QColor& color);
    static QColor ColorOfRef(uint32_t color);

signals:
    void ColorChanged(uint32_t color);

private:
    void ShowPopup();
    void UpdateSwatch();

    uint32_t m_color = 0;
};
