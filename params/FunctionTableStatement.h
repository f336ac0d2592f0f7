#pragma once

#include <QString>

// The query that lists a function table file, without the window's table:
// the command-line program's comparisons open a file with it too.
namespace FunctionTable {

// The statement that lists a function table file, sorted by CODE; with
// namedOnly the records without a NAME are left out.
QString SelectStatement(const QString &file, bool namedOnly);

} // namespace FunctionTable
