#include "report/CReportFile.h"

#include "core/CKavoException.h"

#include <cerrno>
#include <cstring>

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
    static constexpr size_t bufferSize = 1 << 16;
    std::setvbuf(m_file, nullptr, _IOFBF, bufferSize);
    return true;
}

void CReportFile::Write(std::string_view text)
{
    if (m_file == nullptr || m_error != 0 || text.empty())
        return;
    auto put = [this](const char* data, size_t size)
    {
        if (size != 0 && std::fwrite(data, 1, size, m_file) != size && m_error == 0)
            m_error = errno != 0 ? errno : EIO;
    };
    size_t start = 0;
    while (start < text.size())
    {
        const void* found = std::memchr(text.data() + start, '\n', text.size() - start);
        if (found == nullptr)
        {
            put(text.data() + start, text.size() - start);
            break;
        }
        const size_t lineFeed = size_t(static_cast<const char*>(found) - text.data());
        put(text.data() + start, lineFeed - start);
        const bool afterCr = lineFeed > start ? text[lineFeed - 1] == '\r' : m_lastWasCr;
        put(afterCr ? "\n" : "\r\n", afterCr ? 1 : 2);
        start = lineFeed + 1;
    }
    m_lastWasCr = text.back() == '\r';
}

bool CReportFile::Close()
{
    if (m_file == nullptr)
        return m_error == 0;
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
