// Holds a filter's own lock for a scope when the filter is one of ours.
#pragma once

#include "filters/CFilter.h"

// Filters of other kinds (tests' stand-ins) guard themselves.
class CFilterLock
{
public:
    explicit CFilterLock(IFilter& filter) : m_filter(dynamic_cast<CFilter*>(&filter))
    {
        if (m_filter != nullptr)
            m_filter->GetLock().Lock();
    }
    ~CFilterLock()
    {
        if (m_filter != nullptr)
            m_filter->GetLock().Unlock();
    }
    CFilterLock(const CFilterLock&) = delete;
    CFilterLock& operator=(const CFilterLock&) = delete;

private:
    CFilter* m_filter;
};
