#ifndef UPDATER_UPDATERDIRECTORY_H
#define UPDATER_UPDATERDIRECTORY_H
// Where the updater keeps its store: <home>/.mirovane/updater.
#include <string>

// The first component, then for each further one (up to a null pointer) the
// path separator and the component.
std::string joinPath(const char* first, ...);
// The home directory joined with ".mirovane" and "updater"; empty when the
// home directory cannot be had.
std::string getUpdaterDirectory();

#endif
