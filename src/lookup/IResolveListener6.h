// Told when the resolver has found the name of an IPv6 address.
#pragma once

#include "core/Ip6Address.h"

#include <string>

class IResolveListener6
{
public:
    // Called on the resolver thread with no lock held, under the same rules as
    // IResolveListener::OnResolved: post the address to the window and return.
    virtual void OnResolved6(const Ip6Address& address, const std::string& name) = 0;

protected:
    ~IResolveListener6() = default;
};
