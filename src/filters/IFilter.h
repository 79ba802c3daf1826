// A traffic filter seen through its interface: settings, totals, rules, history and hosts.
#pragma once

#include "core/Ip6Address.h"
#include "filters/CFilterParamIp6.h"
#include "filters/IFilterHistory.h"
#include "filters/IFilterHost.h"
#include "filters/IFilterParamIp.h"
#include "filters/IFilterParamPort.h"

#include <cstdint>
#include <string>
#include <vector>

class IFilter
{
public:
    virtual void SetId(int id) = 0;
    virtual int GetId() const = 0;
    virtual void SetName(const std::string& name) = 0;
    virtual std::string GetName() const = 0;
    virtual void SetReceived(double bytes) = 0;
    virtual double GetReceived() const = 0;
    virtual void SetSent(double bytes) = 0;
    virtual double GetSent() const = 0;
    // Used when the binding is Address; network byte order.
    virtual void SetAddress(const uint32_t& address) = 0;
    virtual uint32_t& GetAddress(uint32_t& address) const = 0;
    // A filter bound to an IPv6 address keeps it here instead (and 0 as its IPv4 address);
    // GetAddress6 returns false when the filter holds no IPv6 address. SetAddress clears it.
    virtual void SetAddress6(const Ip6Address& address) = 0;
    virtual bool GetAddress6(Ip6Address& address) const = 0;
    // Used when the binding is Hardware.
    virtual void SetHardwareAddress(const std::vector<uint8_t>& address) = 0;
    virtual std::vector<uint8_t> GetHardwareAddress() const = 0;
    virtual void SetBinding(int binding) = 0;
    virtual int GetBinding() const = 0;
    // Whether the database keeps this filter's captured hosts.
    virtual void SetCacheHosts(bool cache) = 0;
    virtual bool GetCacheHosts() const = 0;
    // A filter that is not enabled (suspended) ignores every packet.
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool IsEnabled() const = 0;
    // Set once the filter has its row in the database.
    virtual void SetStored(bool stored) = 0;
    virtual bool IsStored() const = 0;

    // A new rule with defaults, not yet in the filter: hand it back with AddIpRule.
    virtual IFilterParamIp* CreateIpRule() = 0;
    // Appends the rule; the filter owns it from now on.
    virtual void AddPortRule(IFilterParamPort* rule) = 0;
    virtual void AddIpRule(IFilterParamIp* rule) = 0;
    virtual int GetIpRuleCount() const = 0;
    virtual IFilterParamIp* GetIpRule(int index) const = 0; // nullptr past the end
    // IPv6 rules: a list of their own, decided together with the IPv4 list (see MatchIpRules).
    // AddIp6Rule appends the rule and owns it from now on.
    virtual void AddIp6Rule(CFilterParamIp6* rule) = 0;
    virtual int GetIp6RuleCount() const = 0;
    virtual CFilterParamIp6* GetIp6Rule(int index) const = 0; // nullptr past the end
    virtual IFilterParamPort* CreatePortRule() = 0;
    virtual int GetPortRuleCount() const = 0;
    virtual IFilterParamPort* GetPortRule(int index) const = 0;

    // The item of that day, created when missing; the day is taken as given (loading).
    virtual IFilterHistory* AddHistoryDay(int64_t day) = 0;
    virtual int GetHistoryCount() const = 0;
    virtual IFilterHistory* GetHistoryItem(int index) const = 0; // by insertion number
    // The record of that remote address, created when missing (loading).
    virtual IFilterHost* AddHost(const uint32_t& address) = 0;
    virtual IFilterHost* AddHost6(const Ip6Address& address) = 0;
    virtual int GetHostCount() const = 0;
    virtual IFilterHost* GetHost(int index) const = 0; // by insertion number

protected:
    ~IFilter() = default;
};
