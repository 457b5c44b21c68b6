// A module as the program's are built, for the loader's test: its one entry point answers 42.

#include <QtGlobal>

extern "C" Q_DECL_EXPORT int VarnexTestEntry() {
    return 42;
}
