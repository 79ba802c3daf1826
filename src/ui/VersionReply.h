// Reads the update server's XML reply and builds the text the update dialog shows.
#pragma once

#include <QString>

#include <optional>
#include <string>

struct VersionReply
{
    QString version;
    QString changes; // as the server sent it
};

// Anything before the XML declaration (the HTTP status line and headers) is dropped. Nothing
// when the XML does not load or lacks the root Ombrix or its Version or Changes element.
std::optional<VersionReply> ParseVersionReply(const std::string& text);

// Line ends made CR LF (an existing CR LF stays one) and every TAB removed.
QString NormalizeChanges(const QString& changes);

// "You are using the latest version." unless the offered version is newer by number; then the
// announcement followed by the changes. Empty when the offered version does not parse.
QString VersionDialogText(const VersionReply& reply, const char* currentVersion);
