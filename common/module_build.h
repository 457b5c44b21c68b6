#pragma once

// Which build a module of the program comes from. The program and its modules pass C++ objects to each other
// (Qt's classes, the program's own interfaces), which hold together only between files of one build. So every
// module exports the build's identity, made once per build folder, and the loader refuses a module whose
// identity is not the program's: one left over from another build or installation.

inline constexpr char ModuleBuildSymbol[] = "VarnexModuleBuild";
extern "C" using ModuleBuildFunction = const char * ();
