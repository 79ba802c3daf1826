// The stored/modified pair of every record that the database layer writes incrementally.
#pragma once

class IStorable
{
public:
    // Set once the record has its database row, so the next write updates rather than inserts.
    virtual void SetStored(bool stored) = 0;
    virtual bool IsStored() const = 0;
    // Set while the record holds changes the database has not seen yet.
    virtual void SetModified(bool modified) = 0;
    virtual bool IsModified() const = 0;

protected:
    ~IStorable() = default;
};
