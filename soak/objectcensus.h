#ifndef OBJECTCENSUS_H
#define OBJECTCENSUS_H

// Counts the QObjects alive in the process, through the hooks QtCore keeps for debugging
// tools: a dialogue that leaves objects behind shows up as a count that keeps growing, whoever
// the objects' parents are. One census per process; it counts from install() to the end.
class ObjectCensus
{
public:
    // False when this QtCore offers no hooks, or another tool holds them.
    static bool install();
    static long alive();
};

#endif // OBJECTCENSUS_H
