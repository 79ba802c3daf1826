// Where a component that runs on its own thread reports a failure. The window marshals the call
// to its own thread; the window-less modes print the text.
#pragma once

#include "core/CKavoException.h"

class IErrorListener
{
public:
    virtual void OnError(const CKavoException& error) = 0;

protected:
    ~IErrorListener() = default;
};
