#include "ui/DialogInput.h"

#include <QMessageBox>

#include <arpa/inet.h>
#include <charconv>

namespace
{
std::string_view Trimmed(const std::string& text)
{
    std::string_view view(text);
    while (!view.empty() && (view.front() == ' ' || view.front() == '\t'))
        view.remove_prefix(1);
    while (!view.empty() && (view.back() == ' ' || view.back() == '\t'))
        view.remove_suffix(1);
    return view;
}
} // namespace

std::optional<uint32_t> ParseStrictAddress(const std::string& text)
{
    const std::string value(Trimmed(text));
    in_addr address{};
    // inet_pton takes exactly four decimal parts of 0..255, unlike inet_addr and inet_aton.
    if (value.empty() || inet_pton(AF_INET, value.c_str(), &address) != 1)
        return std::nullopt;
    return address.s_addr;
}

std::optional<Ip6Address> ParseStrictAddress6(const std::string& text)
{
    Ip6Address address;
    if (!ParseIp6(Trimmed(text), address))
        return std::nullopt;
    return address;
}

std::optional<uint16_t> ParseStrictPort(const std::string& text)
{
    const std::optional<int> value = ParseStrictInteger(text);
    if (!value || *value < 0 || *value > 65535)
        return std::nullopt;
    // A sign is not part of a port number.
    const std::string_view view = Trimmed(text);
    if (view.front() == '+' || view.front() == '-')
        return std::nullopt;
    return static_cast<uint16_t>(*value);
}

std::optional<int> ParseStrictInteger(const std::string& text)
{
    std::string_view view = Trimmed(text);
    if (!view.empty() && view.front() == '+')
        view.remove_prefix(1);
    if (view.empty())
        return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (error != std::errc() || end != view.data() + view.size())
        return std::nullopt;
    return value;
}

QuestionFunction DefaultQuestionFunction()
{
    return [](QWidget* parent, const QString& text)
    { return QMessageBox::question(parent, QStringLiteral("Ombrix"), text) == QMessageBox::Yes; };
}

MessageFunction DefaultMessageFunction()
{
    return [](QWidget* parent, const QString& text)
    { QMessageBox::warning(parent, QStringLiteral("Ombrix"), text); };
}
