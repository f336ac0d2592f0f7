// "Export Functions" copies the open function table to a file of the user's
// choosing; "Import Functions" opens such a file as the function table.
#include "app/AppPaths.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "params/FunctionTable.h"

#include <QFile>
#include <QFileInfo>

namespace {
const QString ExportFilter = "dBASE File(*.dbf;*.DBF )|*dbf;*DBF";
const QString ImportFilter = "dBASE File(*.dbf;*DBF)|*.dbf;*DBF";
} // namespace

void TForm1::ExportFunctions1Click() {
  QString target = Dialogs::GetSaveFileName("Export Functions", "UFunc.DBF", ExportFilter);
  if (target.isEmpty())
    return;
  // Only these two spellings count as the extension; "Dbf" gets one added.
  if (!target.endsWith("dbf") && !target.endsWith("DBF"))
    target += ".dbf";
  // Never replaces a file: QFile::copy refuses an existing target. A missing
  // source copies nothing either; neither case is reported.
  QFile::copy(DataFolder + FunctionTableFile, target);
}

void TForm1::ImportFunctions1Click() {
  const QString chosen = Dialogs::GetOpenFileName("Import Functions", ImportFilter);
  if (chosen.isEmpty())
    return;
  const QFileInfo file(chosen);
  FunctionTableFile = file.fileName();
  DataFolder = file.absolutePath() + "/";
  // An imported table lists its unnamed records too and shows WRITEABLE.
  FunctionTable::Load(*this, DataFolder, FunctionTableFile, false);
}
