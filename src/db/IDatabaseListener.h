// Where the traffic store reports a failed database operation, on the thread where it failed.
#pragma once

#include "core/IErrorListener.h"

// The store hands every SQLite failure over as a CKavoException: its display flag says whether
// the user should see it.
class IDatabaseListener : public IErrorListener
{
protected:
    ~IDatabaseListener() = default;
};
