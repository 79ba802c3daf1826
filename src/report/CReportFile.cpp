#include "report/CReportFile.h"

#include "core/CKavoException.h"

#include <cerrno>
#include <cstring>

namespace
{
// Converted text is handed to the C library in blocks of about this size.
constexpr size_t s_bufferSize = 1 << 16;
} // namespace

CReportFile::~CReportFile()
{
    if (m_file != nullptr)
        std::fclose(m_file);
}

bool CReportFile::Open(const std::string& path)
{
    if (m_file != nullptr)
        Close();
    m_error = 0;
    m_lastWasCr = false;
    m_file = std::fopen(path.c_str(), "wb");
    if (m_file == nullptr)
    {
        m_error = errno != 0 ? errno : EIO;
        return false;
    }
    m_buffer.reserve(s_bufferSize + 1024);
    return true;
}

void CReportFile::Write(std::string_view text)
{
    if (m_file == nullptr || m_error != 0 || text.empty())
        return;
    size_t start = 0;
    while (start < text.size())
    {
        const void* found = std::memchr(text.data() + start, '\n', text.size() - start);
        const size_t end =
            found == nullptr ? text.size() : size_t(static_cast<const char*>(found) - text.data());
        m_buffer.append(text, start, end - start);
        if (found == nullptr)
            break;
        const bool afterCr = end > start ? text[end - 1] == '\r' : m_lastWasCr;
        m_buffer.append(afterCr ? "\n" : "\r\n");
        start = end + 1;
        if (m_buffer.size() >= s_bufferSize)
            Flush();
    }
    m_lastWasCr = text.back() == '\r';
    if (m_buffer.size() >= s_bufferSize)
        Flush();
}

void CReportFile::WriteAsIs(std::string_view text)
{
    if (m_file == nullptr || m_error != 0 || text.empty())
        return;
    m_buffer.append(text);
    m_lastWasCr = text.back() == '\r';
    if (m_buffer.size() >= s_bufferSize)
        Flush();
}

void CReportFile::Flush()
{
    if (!m_buffer.empty() && m_error == 0 &&
        std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file) != m_buffer.size())
        m_error = errno != 0 ? errno : EIO;
    m_buffer.clear();
}

bool CReportFile::Close()
{
    if (m_file == nullptr)
        return m_error == 0;
    Flush();
    if (std::fflush(m_file) != 0 && m_error == 0)
        m_error = errno != 0 ? errno : EIO;
    if (std::fclose(m_file) != 0 && m_error == 0)
        m_error = errno != 0 ? errno : EIO;
    m_file = nullptr;
    return m_error == 0;
}

std::string FileErrorMessage(const std::string& path, int error)
{
    switch (error)
    {
    case EACCES:
    case EPERM:
    case EROFS:
        return "Access to " + path + " was denied.";
    case ENOSPC:
    case EDQUOT:
        return "There is not enough space on the disk to write " + path + ".";
    default:
        break;
    }
    const std::string reason = SystemErrorDescription(static_cast<uint32_t>(error));
    return "Cannot write " + path + (reason.empty() ? "." : ": " + reason + ".");
}
