#include "params/FunctionTableStatement.h"

namespace FunctionTable {
namespace {
const QString Columns = "CODE,NAME,MIN,MAX,DEFAULT,NOWDATA,MODIFY,WRITEABLE";
} // namespace

QString SelectStatement(const QString &file, bool namedOnly) {
  return "select " + Columns + " from " + file + (namedOnly ? " where NAME is not NULL" : "") +
         " order by CODE ";
}

} // namespace FunctionTable
