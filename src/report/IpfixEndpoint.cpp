#include "report/IpfixRecords.h"

#include <cstdlib>

bool ParseIpfixEndpoint(const std::string& text, IpfixEndpoint& endpoint)
{
    std::string host;
    std::string port;
    if (!text.empty() && text.front() == '[')
    {
        const size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return false;
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    }
    else
    {
        const size_t colon = text.rfind(':');
        if (colon == std::string::npos || text.find(':') != colon)
            return false;
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (host.empty() || port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const long number = std::strtol(port.c_str(), nullptr, 10);
    if (number < 1 || number > 65535)
        return false;
    endpoint.host = host;
    endpoint.port = std::to_string(number);
    return true;
}
