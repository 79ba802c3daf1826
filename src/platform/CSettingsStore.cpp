#include "platform/CSettingsStore.h"

#include <charconv>

namespace
{
QString Key(const char* section, const char* name)
{
    return QString::fromUtf8(section) + QLatin1Char('/') + QString::fromUtf8(name);
}
} // namespace

CSettingsStore::CSettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                             QStringLiteral("Korvane"), QStringLiteral("Ombrix")))
{
}

CSettingsStore::CSettingsStore(const std::string& iniPath)
    : m_settings(std::make_unique<QSettings>(QString::fromStdString(iniPath), QSettings::IniFormat))
{
}

std::string CSettingsStore::FileName() const
{
    return m_settings->fileName().toStdString();
}

QVariant CSettingsStore::Read(const char* section, const char* name) const
{
    return m_settings->value(Key(section, name));
}

void CSettingsStore::Write(const char* section, const char* name, const QVariant& value)
{
    m_settings->setValue(Key(section, name), value);
}

std::optional<int32_t> CSettingsStore::ReadNumber(const char* section, const char* name) const
{
    const QVariant value = Read(section, name);
    if (value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    const QByteArray bytes = value.toByteArray();
    if (bytes.size() != 4)
        return std::nullopt;
    uint32_t number = 0;
    for (int i = 3; i >= 0; --i)
        number = (number << 8) | static_cast<uint8_t>(bytes[i]);
    return static_cast<int32_t>(number);
}

std::optional<uint8_t> CSettingsStore::ReadByte(const char* section, const char* name) const
{
    const QVariant value = Read(section, name);
    if (value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    const QByteArray bytes = value.toByteArray();
    if (bytes.size() != 1)
        return std::nullopt;
    return static_cast<uint8_t>(bytes[0]);
}

std::optional<int32_t> CSettingsStore::ReadDword(const char* section, const char* name) const
{
    const QVariant value = Read(section, name);
    // An INI file keeps numbers as text; anything but a whole decimal number in range is refused.
    if (value.typeId() != QMetaType::QString && value.typeId() != QMetaType::Int &&
        value.typeId() != QMetaType::LongLong)
        return std::nullopt;
    const std::string text = value.toString().trimmed().toStdString();
    int32_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return number;
}

std::optional<std::string> CSettingsStore::ReadString(const char* section, const char* name) const
{
    const QVariant value = Read(section, name);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString().toStdString();
}

std::optional<QByteArray> CSettingsStore::ReadBinary(const char* section, const char* name) const
{
    const QVariant value = Read(section, name);
    if (value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return value.toByteArray();
}

void CSettingsStore::WriteNumber(const char* section, const char* name, int32_t value)
{
    const auto number = static_cast<uint32_t>(value);
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    Write(section, name, bytes);
}

void CSettingsStore::WriteByte(const char* section, const char* name, uint8_t value)
{
    Write(section, name, QByteArray(1, static_cast<char>(value)));
}

void CSettingsStore::WriteDword(const char* section, const char* name, int32_t value)
{
    Write(section, name, QString::number(value));
}

void CSettingsStore::WriteString(const char* section, const char* name, const std::string& value)
{
    Write(section, name, QString::fromStdString(value));
}

void CSettingsStore::WriteBinary(const char* section, const char* name, const QByteArray& value)
{
    Write(section, name, value);
}

void CSettingsStore::Sync()
{
    m_settings->sync();
}
