#include "core/CKavoException.h"

#include <cstdio>
#include <cstring>

CKavoException::CKavoException(uint32_t code, bool displayed) : m_code(code), m_displayed(displayed)
{
}

CKavoException::CKavoException(std::string message, bool displayed)
    : m_message(std::move(message)), m_displayed(displayed)
{
}

CKavoException::CKavoException(std::string message, uint32_t code, bool displayed)
    : m_message(std::move(message)), m_code(code), m_displayed(displayed)
{
}

std::string SystemErrorDescription(uint32_t code)
{
    if (code == 0 || code > 0x7fffffffu)
        return {};
    char buffer[256] = {};
    // The GNU variant may return a static string instead of filling the buffer.
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    if (text == nullptr || std::strncmp(text, "Unknown error", 13) == 0)
        return {};
    return text;
}

std::string FormatErrorText(const CKavoException& error)
{
    const std::string message = error.GetMessage();
    const unsigned code = error.GetCode();
    if (!message.empty())
        return "Application Error[ " + std::to_string(code) + " ]:\n" + message + "\n";
    if (code != 0)
        return "Application Error[ " + std::to_string(code) + " ]:\n" +
               SystemErrorDescription(code);
    return {};
}
