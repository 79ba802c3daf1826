// What the frame routes the commands it does not handle itself to (the view).
#pragma once

class ICommandTarget
{
public:
    // Whether the command exists here; the frame leaves the others as they are.
    virtual bool HandlesCommand(int id) const = 0;
    virtual bool IsCommandEnabled(int id) const = 0;
    virtual bool IsCommandChecked(int id) const = 0;
    virtual void OnCommand(int id) = 0;
    // Whether a filter is selected, and whether it counts: the suspend/resume rule.
    virtual bool GetSelectedFilterState(bool& enabled) const = 0;

protected:
    ~ICommandTarget() = default;
};
