// Receives the answer of a version check, on the checker's own thread.
#pragma once

#include <string>

class IVersionListener
{
public:
    // text: the reply from its XML declaration on, as far as it arrived.
    virtual void OnVersionInfo(const std::string& text) = 0;

protected:
    ~IVersionListener() = default;
};
