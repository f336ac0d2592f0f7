#pragma once

#include "cli/ParameterFile.h"

#include <QString>
#include <functional>
#include <string>

// The writes of a command list held to the parameter table in use, as the
// write subcommand holds its values, before the first step is sent. Each
// raises CliError (bad input) beginning with `where` ("list.xlsx row 2: ").
namespace ListWriteCheck {

// The Data of a Function row that writes `function` ("F113"), as it may be
// sent: "." before the code's decimals. A code the table lacks is refused.
QString FunctionData(const ParameterFile::Records &records, const QString &function, const QString &data,
                     const QString &where, const QString &tableName);

// A Command row's request (hex text): one that writes a register of the
// table's parameters (function 06) has its value checked as that
// parameter's; any other request passes as it is. `records` is asked for
// the table only for a write.
void CommandRequest(const std::function<const ParameterFile::Records &()> &records, const std::string &body,
                    const QString &where);

} // namespace ListWriteCheck
