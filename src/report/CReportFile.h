// One output file of a report, written the way the reports have always been written on disk:
// every line ends in CR LF.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

class CReportFile
{
public:
    CReportFile() = default;
    ~CReportFile();
    CReportFile(const CReportFile&) = delete;
    CReportFile& operator=(const CReportFile&) = delete;

    // Creates or truncates the file. False, with Error() set, when it cannot be created.
    bool Open(const std::string& path);
    // A line feed becomes CR LF unless a CR already precedes it.
    void Write(std::string_view text);
    // Writes the bytes unchanged, for text that ends its own lines: a line feed inside a
    // quoted CSV field is part of the value and must stay one byte.
    void WriteAsIs(std::string_view text);
    // Flushes and closes. False when any write or the close failed: the file is then not
    // complete, even if it exists.
    bool Close();

    // errno of the first failure, 0 when there was none.
    int Error() const { return m_error; }

private:
    void Flush();

    std::FILE* m_file = nullptr;
    std::string m_buffer;
    int m_error = 0;
    bool m_lastWasCr = false;
};

// The message the user sees when a report file could not be written, naming the file.
std::string FileErrorMessage(const std::string& path, int error);
