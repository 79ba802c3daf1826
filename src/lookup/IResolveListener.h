// Told when the resolver has found the name of an address.
#pragma once

#include <cstdint>
#include <string>

class IResolveListener
{
public:
    // Called on the resolver thread with no lock held. The window must not be reached
    // synchronously from here: shutdown waits for the resolver on the window thread, so hand
    // the address over (post it) and return.
    virtual void OnResolved(const uint32_t& address, const std::string& name) = 0;

protected:
    ~IResolveListener() = default;
};
