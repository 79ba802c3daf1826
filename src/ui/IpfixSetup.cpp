#include "ui/IpfixSetup.h"

IpfixSettings MakeIpfixSettings(const ExportSettings& stored,
                                const std::vector<IpfixEndpoint>& commandLine)
{
    IpfixSettings settings;
    settings.collectors = commandLine;
    if (settings.collectors.empty() && stored.enabled)
    {
        for (const std::string& text : stored.collectors)
        {
            IpfixEndpoint endpoint;
            if (ParseIpfixEndpoint(text, endpoint))
                settings.collectors.push_back(endpoint);
        }
    }
    settings.intervalSeconds = stored.intervalSeconds;
    settings.templateSeconds = stored.templateSeconds;
    settings.paceMicroseconds = stored.paceMicroseconds;
    settings.filterIds = stored.filterIds;
    return settings;
}
