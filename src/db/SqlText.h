// One SQL text formatted with SQLite's printf; owns the text. Only fixed table names go into it:
// values are bound as statement parameters.
#pragma once

class SqlText
{
public:
    SqlText() = default;
    SqlText(const SqlText&) = delete;
    SqlText& operator=(const SqlText&) = delete;
    ~SqlText();

    // Releases the previous text first. Returns the new text, valid until the next Format or
    // the destructor.
    const char* Format(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    const char* Text() const
    {
        return m_text != nullptr ? m_text : "";
    }
    operator const char*() const
    {
        return Text();
    }

private:
    char* m_text = nullptr;
};
