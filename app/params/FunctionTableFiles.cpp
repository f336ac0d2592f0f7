// "Export Functions" copies the open function table to a file of the user's
// choosing; "Import Functions" opens such a file as the function table.
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "base/AppPaths.h"
#include "session/FunctionTable.h"

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
  // An existing file is never replaced, but the user learns that nothing
  // was written.
  if (QFileInfo::exists(target)) {
    Dialogs::ShowMessage(target + " exists already. It was left as it was; the function table was not "
                                  "exported.");
    return;
  }
  if (!QFile::copy(DataFolder + FunctionTableFile, target))
    Dialogs::ShowMessage("The function table could not be exported to " + target + ".");
}

void TForm1::ImportFunctions1Click() {
  const QString chosen = Dialogs::GetOpenFileName("Import Functions", ImportFilter, AppPaths::DataFolder());
  if (chosen.isEmpty())
    return;
  const QFileInfo file(chosen);
  FunctionTableFile = file.fileName();
  DataFolder = file.absolutePath() + "/";
  // An imported table lists its unnamed records too and shows WRITEABLE.
  Functions->Load(DataFolder, FunctionTableFile, false);
}
