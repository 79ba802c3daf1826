// Strict reading of what the user types into the dialogs, and the message box they answer with.
#pragma once

#include "core/Ip6Address.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QWidget;

// A dotted IPv4 address of exactly four decimal parts ("10.0.0.1"), in network byte order.
// Blanks around it are allowed; anything else (a host name, "10.0.0", "300.1.1.1") is not an
// address, where inet_addr would have answered 255.255.255.255.
std::optional<uint32_t> ParseStrictAddress(const std::string& text);
// An IPv6 address (RFC 4291 text, no zone, no brackets, no prefix), blanks around allowed.
std::optional<Ip6Address> ParseStrictAddress6(const std::string& text);
// A decimal port 0..65535 in host order; "70000" is refused rather than cut to 4464.
std::optional<uint16_t> ParseStrictPort(const std::string& text);
// A whole decimal number in int range, blanks around allowed.
std::optional<int> ParseStrictInteger(const std::string& text);

// Shows one message with an OK button. Tests put a recorder in its place.
using MessageFunction = std::function<void(QWidget* parent, const QString& text)>;
MessageFunction DefaultMessageFunction();
// Asks a yes-or-no question; true for Yes. Tests put an answer in its place.
using QuestionFunction = std::function<bool(QWidget* parent, const QString& text)>;
QuestionFunction DefaultQuestionFunction();
