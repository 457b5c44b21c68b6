#pragma once

// The program's own modules: parts that need large libraries of their own (the web engine, PipeWire, Qt's
// network library) are built as shared modules that sit beside the executable and are loaded on first use,
// so that a run which never uses them does not load their libraries at all, and no start pays for them.

#include <QFunctionPointer>
#include <QString>

// Loads `module` (a file name such as "varnex_web.so") from beside the executable, else from the folder that
// the environment variable VARNEX_MODULE_DIR names (where the tests and benchmarks, which sit in folders of
// their own, find it), and resolves `symbol` in it. A module of another build (module_build.h) is not used.
// The module stays loaded for the rest of the run. Returns nullptr when no place gives the symbol, with
// `error` saying what each place answered.
QFunctionPointer ResolveModuleSymbol(const char* module, const char* symbol, QString& error);
