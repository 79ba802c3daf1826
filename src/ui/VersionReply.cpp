#include "ui/VersionReply.h"

#include "update/VersionNumber.h"

#include <QDomDocument>
#include <QDomElement>

namespace
{
constexpr const char* kXmlDeclaration = "<?xml version=\"1.0\"?>";
}

std::optional<VersionReply> ParseVersionReply(const std::string& text)
{
    const size_t start = text.find(kXmlDeclaration);
    if (start == std::string::npos)
        return std::nullopt;
    const QByteArray xml =
        QByteArray::fromRawData(text.data() + start, static_cast<qsizetype>(text.size() - start));
    QDomDocument document;
    if (!document.setContent(xml))
        return std::nullopt;
    const QDomElement root = document.documentElement();
    if (root.tagName() != QLatin1String("Ombrix"))
        return std::nullopt;
    const QDomElement version = root.firstChildElement(QStringLiteral("Version"));
    const QDomElement changes = root.firstChildElement(QStringLiteral("Changes"));
    if (version.isNull() || changes.isNull())
        return std::nullopt;
    return VersionReply{version.text(), changes.text()};
}

QString NormalizeChanges(const QString& changes)
{
    QString text = changes;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    text.remove(QLatin1Char('\t'));
    return text;
}

QString VersionDialogText(const VersionReply& reply, const char* currentVersion)
{
    const QByteArray offered = reply.version.toUtf8();
    if (!ParseVersion(std::string_view(offered.constData(), offered.size())))
        return {};
    if (!IsNewerVersion(currentVersion, std::string_view(offered.constData(), offered.size())))
        return QStringLiteral("You are using the latest version.");
    return QStringLiteral("Ombrix %1 is available to download on our site.\r\n\r\nWhat's new:\r\n")
               .arg(reply.version.trimmed()) +
           NormalizeChanges(reply.changes);
}
