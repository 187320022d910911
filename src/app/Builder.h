#pragma once
// Builder mode's steps after the usage check: the program copies itself to
// the target and attaches a file to the copy.

#include <functional>

class CPatchPackage;

// target and append are the narrow forms of the second and third argument,
// null when an argument does not fit in 260 bytes. copyProgram copies the
// running program to the target and says whether that worked. Checks what
// can be checked before anything is written, copies, points package at the
// target and attaches, under storedName (null: the name attachFile derives
// from append). Returns a BuilderExitStatus.
int buildPackage(CPatchPackage& package, const char* target, const char* append,
                 const std::function<bool()>& copyProgram, const char* storedName = nullptr);
