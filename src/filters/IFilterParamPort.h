// One port rule of a traffic filter, seen through its interface.
#pragma once

class IFilterParamPort
{
public:
    virtual void SetType(int type) = 0;
    virtual int GetType() const = 0;
    // Ports are 16-bit values in network byte order, zero-extended (what htons returns).
    virtual void SetFirstPort(int port) = 0;
    virtual int GetFirstPort() const = 0;
    virtual void SetLastPort(int port) = 0;
    virtual int GetLastPort() const = 0;
    virtual void SetAction(int action) = 0;
    virtual int GetAction() const = 0;
    // port as the packet record holds it: network byte order.
    virtual bool Match(int port) const = 0;

protected:
    ~IFilterParamPort() = default;
};
