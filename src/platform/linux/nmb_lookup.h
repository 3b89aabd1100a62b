// The IP address of a NetBIOS name, asked of the system's nmblookup.
#ifndef NMB_LOOKUP_H
#define NMB_LOOKUP_H

#include <QString>

// The first answer line that starts with a digit, up to its first blank;
// only an IPv4 address is taken. Empty when there is none, when the name is
// empty or when nmblookup cannot run. The name reaches nmblookup as one
// argument that no shell reads.
QString nmbLookup(const char* name);

#endif
