#pragma once

#include <vector>

// One function parameter of the RM40 series as delivered with the program.
// Texts use "." as decimal separator and carry exactly the parameter's number
// of decimals; "--" as range marks a parameter that may not be modified. A
// record without a name is kept in the table but never listed.
struct Rm40Parameter {
  const char *code;
  const char *name; // nullptr: unnamed record
  const char *min;
  const char *max;
  const char *def;
  bool writeable; // written by write-all
};

// The delivered parameter list in CODE order, unnamed records included.
const std::vector<Rm40Parameter> &Rm40Parameters();
