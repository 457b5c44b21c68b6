// Built into each module of the program (see module_build.h).

#include "common/module_build.h"

#include <QtGlobal>

extern "C" Q_DECL_EXPORT const char* VarnexModuleBuild() {
    return VARNEX_BUILD_ID;
}
