#ifndef MKBIRD_BIRDDUMP_H
#define MKBIRD_BIRDDUMP_H
// Readable dump of a BIRD file as the updater loads it: header, blocks with
// their types, flags, lengths and addresses, information fields, checksum.
#include <cstdio>
#include <string>

// Returns 0, or 1 when the file cannot be read or does not load.
int birdDump(FILE* out, const std::string& path);

#endif
