// Prints the median time of the table store's common operations: opening
// the function table (delivered and a 5,000-record one), one Post, and the
// close-reopen-return-to-bookmark cycle the reply handlers run.
#include "settings/DbfFile.h"
#include "settings/ShippedTables.h"
#include "settings/TableStore.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QString FunctionQuery =
    "select CODE,NAME,MIN,MAX,DEFAULT,NOWDATA,MODIFY,WRITEABLE from %1 where NAME is not NULL order by CODE ";

double MedianMs(int runs, const std::function<void()> &work) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void WriteLargeFunctionTable(const QString &folder, int records) {
  const std::vector<TDbfFieldDef> fields = {
      {"CODE", 'C', 10, 0},    {"NAME", 'C', 60, 0},    {"MIN", 'C', 20, 0},    {"MAX", 'C', 20, 0},
      {"DEFAULT", 'C', 20, 0}, {"NOWDATA", 'C', 20, 0}, {"MODIFY", 'C', 20, 0}, {"WRITEABLE", 'L', 1, 0}};
  std::vector<std::vector<TDbfValue>> rows;
  for (int i = records - 1; i >= 0; --i) { // reverse order, so the sort has work to do
    char code[16];
    std::snprintf(code, sizeof code, "F%05d", i);
    rows.push_back({std::string(code), i % 10 ? TDbfValue("Parameter " + std::to_string(i)) : std::nullopt,
                    std::string("0.00"), std::string("400.00"), std::string("50.00"), std::nullopt,
                    std::nullopt, std::string("T")});
  }
  CreateDbfTable((folder + "/LARGE.DBF").toStdString(), fields, rows, true);
}

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  const QString folder = dir.path();
  CreateRm40Table(folder.toStdString());
  CreateUsercmdTable(folder.toStdString());
  WriteLargeFunctionTable(folder, 5000);

  TTableConnection connection;
  connection.SetConnectionString(TTableConnection::ConnectionTextFor(folder));
  connection.Open();
  TTableQuery query(&connection);
  const int runs = 51;

  const auto openTable = [&](const QString &file) {
    query.SetSQL(FunctionQuery.arg(file));
    return MedianMs(runs, [&] { query.Open(); });
  };
  const auto postOne = [&](const QString &file) {
    query.SetSQL(FunctionQuery.arg(file));
    query.Open();
    query.MoveBy(11);
    int n = 0;
    return MedianMs(runs, [&] {
      query.Edit();
      query.FieldByName("NOWDATA").SetAsString(QString::number(++n) + ".00");
      query.Post();
    });
  };

  std::printf("open function table, delivered RM40.DBF:          %.3f ms\n", openTable("RM40.DBF"));
  std::printf("open function table, 5,000 records:              %.3f ms\n", openTable("LARGE.DBF"));
  std::printf("one Post, delivered RM40.DBF:                     %.3f ms\n", postOne("RM40.DBF"));
  std::printf("one Post, 5,000 records:                          %.3f ms\n", postOne("LARGE.DBF"));

  query.SetSQL(FunctionQuery.arg("RM40.DBF"));
  query.Open();
  query.MoveBy(150);
  std::printf("close, reopen, return to bookmark (RM40.DBF):     %.3f ms\n", MedianMs(runs, [&] {
                const TBookmark mark = query.GetBookmark();
                query.Close();
                query.Open();
                query.GotoBookmark(mark);
                query.FreeBookmark(mark);
              }));

  query.SetSQL("select * from usercmd.dbf ");
  std::printf("settings save, 35 command rows edited, one Post:  %.3f ms\n", MedianMs(runs, [&] {
                query.Open();
                for (query.First(); !query.Eof(); query.Next()) {
                  query.Edit();
                  query.FieldByName("VALIDNUM").SetAsInteger(query.RecNo());
                  query.FieldByName("SENDATA").SetAsString("010300000001");
                }
                query.Post();
                query.Close();
              }));
  return 0;
}
