// One IP rule of a traffic filter, seen through its interface.
#pragma once

#include <cstdint>

class IFilterParamIp
{
public:
    virtual void SetType(int type) = 0;
    virtual int GetType() const = 0;
    // Addresses in network byte order.
    virtual void SetAddress(const uint32_t& address) = 0;
    virtual uint32_t& GetAddress(uint32_t& address) const = 0;
    virtual void SetSecondAddress(const uint32_t& address) = 0;
    virtual uint32_t& GetSecondAddress(uint32_t& address) const = 0;
    virtual void SetAction(int action) = 0;
    virtual int GetAction() const = 0;
    virtual bool Match(uint32_t address) const = 0;

protected:
    ~IFilterParamIp() = default;
};
