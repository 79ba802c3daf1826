#include "db/SqlText.h"

#include <sqlite3.h>

#include <cstdarg>

SqlText::~SqlText()
{
    sqlite3_free(m_text);
}

const char* SqlText::Format(const char* format, ...)
{
    sqlite3_free(m_text);
    m_text = nullptr;
    va_list arguments;
    va_start(arguments, format);
    m_text = sqlite3_vmprintf(format, arguments);
    va_end(arguments);
    return Text();
}
