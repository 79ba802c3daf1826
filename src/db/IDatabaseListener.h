// Where the traffic store reports a failed database operation, on the thread where it failed.
#pragma once

#include "core/IErrorListener.h"

// Every SQLite failure arrives as a CKavoException whose display flag says whether the user
// should see it. OnError may run on the saver's or the resolver's thread, and from inside a
// store operation that another caller started with the database lock held: hand the error over
// to the window without waiting for it.
class IDatabaseListener : public IErrorListener
{
protected:
    ~IDatabaseListener() = default;
};
