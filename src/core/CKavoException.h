// The system's one error type: a message, a 32-bit code and whether the user should see it.
#pragma once

#include <cstdint>
#include <string>

class CKavoException
{
public:
    CKavoException(uint32_t code, bool displayed);
    CKavoException(std::string message, bool displayed);
    CKavoException(std::string message, uint32_t code, bool displayed);
    CKavoException(const CKavoException&) = default;
    CKavoException& operator=(const CKavoException&) = default;
    virtual ~CKavoException() = default;

    // Never null; valid as long as the exception lives.
    virtual const char* GetMessage() const { return m_message.c_str(); }
    virtual uint32_t GetCode() const { return m_code; }
    virtual bool IsDisplayed() const { return m_displayed; }

private:
    std::string m_message;
    uint32_t m_code = 0;
    bool m_displayed = false;
};

// The text the user sees for an error: "Application Error[ code ]:\nmessage\n", or, when there
// is only a code, the C library's description of it. Empty when there is neither.
std::string FormatErrorText(const CKavoException& error);

// The C library's description of an errno value; empty when it has none.
std::string SystemErrorDescription(uint32_t code);
