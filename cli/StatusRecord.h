#pragma once

#include "cli/RecordOutput.h"
#include "drive/StatusDecoding.h"

// A drive's status block as the program shows it: each value's text with
// its unit, in the order of the motor status table.
Record StatusRecord(const DriveStatusTexts &status);
