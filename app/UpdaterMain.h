#ifndef UPDATER_UPDATERMAIN_H
#define UPDATER_UPDATERMAIN_H
// The whole run of the program; returns the process exit code (0 or 1).
int runUpdater(int argc, const char* const* argv);

#endif
