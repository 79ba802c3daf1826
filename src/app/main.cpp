#include <cstdio>

int main()
{
    std::puts("Ombrix");
    return 0;
}
