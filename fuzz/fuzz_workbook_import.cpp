// The workbook import reads whatever file the user picks: every input is
// tried once as an ".xlsx" and once as an ".xls" path, with the size of the
// command list import.
//
// The ".xls" reader library reads in a child process, where its own crashes
// on damaged files stay contained: those inputs are counted by how the child
// ended and told when the run ends ("contained: ..."), and the first input of
// each kind is kept in the folder named by VDD_CONTAINED_DIR. The program's
// own code of that child, the walk over the cells and the answer sent back,
// also runs here on a sheet made from the input, where a crash fails the run.
#include "fuzz/FuzzSupport.h"
#include "sequences/BinarySheet.h"
#include "sequences/WorkbookImport.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <pthread.h>
#include <sanitizer/common_interface_defs.h>
#include <set>
#include <string>
#include <unistd.h>

namespace {

constexpr int Rows = 201;
constexpr int Columns = 6;

// A contained crash leaves its report in the log and nothing else: the
// fuzzer's own crash handling would keep the input as a crash of the target.
void ChildSignal(int signal) {
  static const char line[] = "==contained== the workbook reader's child got a deadly signal\n";
  (void)!write(STDERR_FILENO, line, sizeof line - 1);
  __sanitizer_print_stack_trace();
  std::signal(signal, SIG_DFL);
  raise(signal);
}

void InChild() {
  __sanitizer_set_death_callback(nullptr);
  for (int signal : {SIGABRT, SIGILL}) // the others are the address checker's
    std::signal(signal, ChildSignal);
}

struct ContainedCrashes {
  std::map<QString, int> byEnd;
  std::set<QByteArray> seen;

  // The first few inputs of each kind are kept.
  void Add(const QString &end, const std::uint8_t *data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
    if (!seen.insert(hash).second || byEnd[end]++ >= 3 || qEnvironmentVariableIsEmpty("VDD_CONTAINED_DIR"))
      return;
    const QString folder = qEnvironmentVariable("VDD_CONTAINED_DIR");
    QDir().mkpath(folder);
    FuzzSupport::WriteFile(folder + '/' + QString(end).replace(' ', '-') + '-' + hash.left(12), data, size);
  }

  ~ContainedCrashes() {
    if (seen.empty())
      return;
    QStringList kinds;
    for (const auto &[end, count] : byEnd)
      kinds << QString("%1: %2").arg(end).arg(count);
    std::fprintf(stderr, "contained: %d inputs crashed the workbook library (%s)\n",
                 static_cast<int>(seen.size()), qPrintable(kinds.join(", ")));
  }
} contained;

void CheckWindow(const TextTable &table) {
  if (table.size() != Rows)
    std::abort();
  for (const auto &row : table)
    if (row.size() != Columns)
      std::abort();
}

// A sheet as the library could give it, every cell made from the input.
class InputSheet : public BinarySheet {
public:
  InputSheet(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {
    rows_ = data[0] | (data[1] & 1) << 8;
    columns_ = data[2] % 12;
    refusedCell_ = data[3] < 32 ? data[3] : -1;
  }
  bool Dimensions(unsigned int &rows, unsigned short &columns) override {
    rows = rows_;
    columns = columns_;
    return refusedCell_ != 31;
  }
  bool Cell(unsigned int row, unsigned short column, FreeXL_CellValue &value) override {
    if (row >= rows_ || column >= columns_) {
      std::fprintf(stderr, "ERROR: cell %u,%u asked of a sheet of %u rows and %u columns\n", row, column,
                   rows_, columns_);
      std::abort();
    }
    const std::size_t at = row * columns_ + column;
    if (static_cast<int>(at) == refusedCell_)
      return false;
    const std::uint8_t kind = Byte(at * 7);
    value.type = kind % 9 == 8 ? 0 : FREEXL_CELL_NULL + kind % 8;
    std::uint8_t raw[8];
    for (std::size_t i = 0; i < sizeof raw; ++i)
      raw[i] = Byte(at * 7 + 1 + i);
    if (value.type == FREEXL_CELL_INT)
      std::memcpy(&value.value.int_value, raw, sizeof value.value.int_value);
    else if (value.type == FREEXL_CELL_DOUBLE)
      std::memcpy(&value.value.double_value, raw, sizeof value.value.double_value);
    std::string &text = texts_.emplace_back();
    for (std::size_t i = 0; i < raw[0] % 40u; ++i)
      text += static_cast<char>(Byte(at * 7 + 2 + i));
    value.value.text_value = value.type >= FREEXL_CELL_TEXT ? text.c_str() : nullptr;
    return true;
  }

private:
  std::uint8_t Byte(std::size_t at) const { return data_[at % size_]; }
  const std::uint8_t *data_;
  std::size_t size_;
  unsigned int rows_;
  unsigned short columns_;
  int refusedCell_;
  std::deque<std::string> texts_; // the library keeps its texts until it is closed
};

// The child's own code, here where a crash counts.
void WalkSheetMadeFromInput(const std::uint8_t *data, std::size_t size) {
  if (size < 4)
    return;
  InputSheet sheet(data, size);
  const std::optional<TextTable> table = ReadSheetWindow(sheet, Rows, Columns, ",");
  if (table)
    CheckWindow(*table);
  const SheetAnswer answer = DecodeSheetAnswer(EncodeSheetAnswer(table), Rows, Columns);
  if (answer.kind != (table ? SheetAnswer::Table : SheetAnswer::Refused) || (table && answer.table != *table))
    std::abort();
  // and the parent's reading of whatever a child might send
  const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  const SheetAnswer any = DecodeSheetAnswer(bytes, 2, 3);
  if (any.kind == SheetAnswer::Table && (any.table.size() != 2 || any.table[0].size() != 3))
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  pthread_atfork(nullptr, nullptr, InChild);
  // The children then symbolize their reports through this process's
  // symbolizer instead of starting one each, many times slower.
  char frame[256];
  __sanitizer_symbolize_pc(__builtin_return_address(0), "%p %F %L", frame, sizeof frame);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  for (const char *name : {"book.xlsx", "book.xls"}) {
    const QString path = FuzzSupport::ScratchFolder() + name;
    if (!FuzzSupport::WriteFile(path, data, size))
      std::abort();
    WorkbookRefusal refusal;
    const std::optional<TextTable> table = ReadWorkbook(path, Rows, Columns, ",", &refusal);
    // a readable workbook always gives the full rectangle asked for
    if (table)
      CheckWindow(*table);
    if (refusal.damaged)
      contained.Add(refusal.readerEnd, data, size);
  }
  WalkSheetMadeFromInput(data, size);
  return 0;
}
