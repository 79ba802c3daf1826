// A job that a CKavoThread runs: Run is its body, Stop asks it to end and returns once it has.
#pragma once

class IExecutable
{
public:
    virtual void Run() = 0;
    // Blocks until the job's thread has left Run. Never called from that thread.
    virtual void Stop() = 0;

protected:
    ~IExecutable() = default;
};
