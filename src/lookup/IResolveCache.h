// Filling and walking the host-name cache: names loaded from the database go in through Add.
#pragma once

#include <cstdint>
#include <string>

class IResolveCache
{
public:
    // Sets the name of the network-order address and records the address in entry order; a
    // later Add for the same address replaces the name.
    virtual void Add(const uint32_t& address, const std::string& name) = 0;
    // Walk in entry order: First, then GetAddress/GetName while Next has not returned false.
    // The walk is not guarded against other threads adding names; hold the table lock for it.
    virtual void First() = 0;
    virtual bool Next() = 0;
    virtual uint32_t GetAddress() = 0;
    virtual std::string GetName() = 0;

protected:
    ~IResolveCache() = default;
};
