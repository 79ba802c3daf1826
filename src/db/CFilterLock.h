// Holds a filter's own lock for a scope when it is one of ours; other filters guard themselves.
#pragma once

#include "filters/CFilter.h"
#include "filters/IFilter.h"

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
