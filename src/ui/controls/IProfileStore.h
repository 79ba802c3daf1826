// Where list controls and the frame keep their layout: text values by section and name.
#pragma once

#include <string>

class IProfileStore
{
public:
    // Empty when the value is missing.
    virtual std::string ReadText(const std::string& section, const std::string& name) = 0;
    virtual void WriteText(const std::string& section, const std::string& name,
                           const std::string& text) = 0;

protected:
    ~IProfileStore() = default;
};
