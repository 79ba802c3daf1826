// The collection of traffic filters seen through its interface (what the store loads into).
#pragma once

class IFilter;

class IFilterManager
{
public:
    // A new filter with defaults, not in the collection; hand it to AddFilter.
    virtual IFilter* CreateFilter() = 0;
    // Appends a filter built by CreateFilter; the collection owns it from now on.
    virtual void AddFilter(IFilter* filter) = 0;
    virtual unsigned GetCount() const = 0;
    // Throws std::out_of_range when index is not below GetCount.
    virtual IFilter* GetFilter(unsigned index) const = 0;

protected:
    ~IFilterManager() = default;
};
