#ifndef HEAPCOUNTER_H
#define HEAPCOUNTER_H

// Every heap allocation of the process, counted where all of them meet: the C library's
// malloc family, which operator new and Qt's containers end in. Linking heapcounter.cpp
// replaces that family for the whole program.
class HeapCounter
{
public:
    struct Totals
    {
        long long allocations = 0;
        // As asked for by the callers.
        long long requestedBytes = 0;
        // Held at this moment, in the allocator's usable sizes.
        long long liveBytes = 0;
    };

    static Totals totals();
};

#endif // HEAPCOUNTER_H
