// The settings file: typed reads and writes of the values kept beside the statistics, over an INI
// file in the user's config folder.
#pragma once

#include <QByteArray>
#include <QSettings>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class CSettingsStore
{
public:
    // The user's own file: organisation "Korvane", application "Ombrix".
    CSettingsStore();
    // An explicit file, so tests never touch the user's settings.
    explicit CSettingsStore(const std::string& iniPath);
    CSettingsStore(const CSettingsStore&) = delete;
    CSettingsStore& operator=(const CSettingsStore&) = delete;

    std::string FileName() const;

    // Each read answers nothing when the value is missing or not of the expected kind and size,
    // so that the caller keeps its default.
    // "flag/number": a binary value of exactly four bytes, a little-endian 32-bit integer.
    std::optional<int32_t> ReadNumber(const char* section, const char* name) const;
    // "byte": a binary value of exactly one byte.
    std::optional<uint8_t> ReadByte(const char* section, const char* name) const;
    // "dword": a plain decimal integer in 32 bits.
    std::optional<int32_t> ReadDword(const char* section, const char* name) const;
    std::optional<std::string> ReadString(const char* section, const char* name) const;
    std::optional<QByteArray> ReadBinary(const char* section, const char* name) const;

    void WriteNumber(const char* section, const char* name, int32_t value);
    void WriteByte(const char* section, const char* name, uint8_t value);
    void WriteDword(const char* section, const char* name, int32_t value);
    void WriteString(const char* section, const char* name, const std::string& value);
    void WriteBinary(const char* section, const char* name, const QByteArray& value);

    // Writes pending changes to the file now (QSettings otherwise writes on destruction).
    void Sync();

private:
    QVariant Read(const char* section, const char* name) const;
    void Write(const char* section, const char* name, const QVariant& value);

    std::unique_ptr<QSettings> m_settings;
};
