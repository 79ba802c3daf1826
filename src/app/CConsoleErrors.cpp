#include "app/CConsoleErrors.h"

#include <cstdio>

void CConsoleErrors::OnError(const CKavoException& error)
{
    std::string text = FormatErrorText(error);
    if (text.empty())
        text = "Application Error[ 0 ]:\nunknown failure\n";
    if (text.back() != '\n')
        text += '\n';
    CKavoLock lock(m_locker);
    ++m_count;
    if (m_seen[text]++ == 0)
        std::fputs(text.c_str(), stderr);
}

uint64_t CConsoleErrors::GetErrorCount()
{
    CKavoLock lock(m_locker);
    return m_count;
}
