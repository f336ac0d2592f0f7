#include "sequences/WorkbookImport.h"

#include "sequences/BinarySheet.h"
#include "sequences/SheetCells.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QXmlStreamReader>
#include <cerrno>
#include <csignal>
#include <dlfcn.h>
#include <freexl.h>
#include <iconv.h>
#include <poll.h>
#include <pthread.h>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The limits of a sheet; a reference beyond them is not a workbook's.
constexpr int MaxSheetRows = 1048576;
constexpr int MaxSheetColumns = 16384;

QString NumberText(const QString &stored, const QString &decimalSeparator) {
  bool ok = false;
  const double value = stored.toDouble(&ok);
  return ok ? NumberText(value, decimalSeparator) : stored;
}

// ---- Office Open XML -------------------------------------------------------

// Strings in the package escape characters that XML cannot carry as _xHHHH_
// (and a literal "_x" as _x005F_x).
QString DecodeEscapes(const QString &text) {
  if (!text.contains(QLatin1String("_x")))
    return text;
  QString decoded;
  decoded.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('_') && i + 6 < text.size() && text[i + 1] == QLatin1Char('x') &&
        text[i + 6] == QLatin1Char('_')) {
      bool ok = false;
      const uint code = text.mid(i + 2, 4).toUInt(&ok, 16);
      if (ok) {
        decoded += QChar(static_cast<char16_t>(code));
        i += 6;
        continue;
      }
    }
    decoded += text[i];
  }
  return decoded;
}

// The bytes of one part of the package, or nothing when the part is missing,
// damaged, fails its CRC or inflates beyond WorkbookPartLimit.
std::optional<QByteArray> ReadPart(QuaZip &zip, const QString &name) {
  if (!zip.setCurrentFile(name, QuaZip::csInsensitive))
    return std::nullopt;
  QuaZipFile part(&zip);
  if (!part.open(QIODevice::ReadOnly))
    return std::nullopt;
  QByteArray data;
  char chunk[64 * 1024];
  for (;;) {
    const qint64 got = part.read(chunk, sizeof chunk);
    if (got < 0)
      return std::nullopt;
    if (got == 0)
      break;
    if (data.size() + got > WorkbookPartLimit)
      return std::nullopt;
    data.append(chunk, got);
  }
  part.close();
  if (part.getZipError() != UNZ_OK)
    return std::nullopt;
  return data;
}

bool PartExists(QuaZip &zip, const QString &name) { return zip.setCurrentFile(name, QuaZip::csInsensitive); }

// "C12" -> row 11, column 2. False for anything else, also for references
// beyond the limits of a sheet.
bool ParseCellReference(const QString &reference, int &row, int &column) {
  qsizetype i = 0;
  qint64 columnNumber = 0;
  while (i < reference.size() && reference[i].isLetter() && i < 3) {
    const char16_t letter = reference[i].toUpper().unicode();
    if (letter < u'A' || letter > u'Z')
      return false;
    columnNumber = columnNumber * 26 + (letter - u'A' + 1);
    ++i;
  }
  const QString digits = reference.mid(i);
  if (columnNumber == 0 || digits.isEmpty() || digits.size() > 7)
    return false;
  for (QChar c : digits)
    if (!c.isDigit())
      return false;
  const qint64 rowNumber = digits.toLongLong();
  if (rowNumber < 1 || rowNumber > MaxSheetRows || columnNumber > MaxSheetColumns)
    return false;
  row = static_cast<int>(rowNumber - 1);
  column = static_cast<int>(columnNumber - 1);
  return true;
}

// The text of a string item (<si> or <is>): its <t> elements, or the <t> of
// its rich-text runs, leaving out phonetic hints. The reader stands on the
// item's start; it is left on the item's end.
QString ReadStringItem(QXmlStreamReader &xml) {
  const QString item = xml.name().toString();
  QString text;
  while (xml.readNext() != QXmlStreamReader::Invalid) {
    if (xml.isEndElement() && xml.name() == item)
      break;
    if (!xml.isStartElement())
      continue;
    if (xml.name() == QLatin1String("rPh"))
      xml.skipCurrentElement();
    else if (xml.name() == QLatin1String("t"))
      text += xml.readElementText(QXmlStreamReader::SkipChildElements);
  }
  return DecodeEscapes(text);
}

struct Relationship {
  QString type;
  QString target;
};

// The workbook's relationships by id, targets resolved to part names.
std::optional<QHash<QString, Relationship>> ReadRelationships(const QByteArray &data) {
  QHash<QString, Relationship> relationships;
  QXmlStreamReader xml(data);
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement() || xml.name() != QLatin1String("Relationship"))
      continue;
    const QXmlStreamAttributes attributes = xml.attributes();
    if (attributes.value(QLatin1String("TargetMode")) == QLatin1String("External"))
      continue;
    QString target = attributes.value(QLatin1String("Target")).toString();
    target = target.startsWith(QLatin1Char('/')) ? target.mid(1) : QStringLiteral("xl/") + target;
    target = QDir::cleanPath(target);
    if (target.startsWith(QLatin1String("..")))
      continue;
    relationships.insert(attributes.value(QLatin1String("Id")).toString(),
                         {attributes.value(QLatin1String("Type")).toString(), target});
  }
  if (xml.hasError())
    return std::nullopt;
  return relationships;
}

// The relationship id of the first sheet listed in xl/workbook.xml.
std::optional<QString> FirstSheetId(const QByteArray &data) {
  QXmlStreamReader xml(data);
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement() && xml.name() == QLatin1String("sheet")) {
      for (const QXmlStreamAttribute &attribute : xml.attributes())
        if (attribute.name() == QLatin1String("id") && !attribute.namespaceUri().isEmpty())
          return attribute.value().toString();
      return std::nullopt;
    }
  }
  return std::nullopt;
}

std::optional<QStringList> ReadSharedStrings(const QByteArray &data) {
  QStringList strings;
  QXmlStreamReader xml(data);
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement() && xml.name() == QLatin1String("si"))
      strings.append(ReadStringItem(xml));
  }
  if (xml.hasError())
    return std::nullopt;
  return strings;
}

// Reads the cells of one worksheet part into the window.
bool ReadSheetCells(const QByteArray &data, const QStringList &sharedStrings, const QString &decimalSeparator,
                    CellWindow &cells) {
  QXmlStreamReader xml(data);
  int currentRow = -1;
  int nextColumn = 0;
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement())
      continue;
    if (xml.name() == QLatin1String("dimension")) {
      // A range beyond a sheet's limits marks a forged file.
      const QStringList corners =
          xml.attributes().value(QLatin1String("ref")).toString().split(QLatin1Char(':'));
      int row = 0;
      int column = 0;
      for (const QString &corner : corners)
        if (!ParseCellReference(corner, row, column))
          return false;
    } else if (xml.name() == QLatin1String("row")) {
      const QStringView number = xml.attributes().value(QLatin1String("r"));
      if (number.isEmpty()) {
        ++currentRow;
      } else {
        bool ok = false;
        const qint64 rowNumber = number.toLongLong(&ok);
        if (!ok || rowNumber < 1 || rowNumber > MaxSheetRows)
          return false;
        currentRow = static_cast<int>(rowNumber - 1);
      }
      nextColumn = 0;
    } else if (xml.name() == QLatin1String("c")) {
      const QXmlStreamAttributes attributes = xml.attributes();
      int row = currentRow < 0 ? 0 : currentRow;
      int column = nextColumn;
      const QString reference = attributes.value(QLatin1String("r")).toString();
      if (!reference.isEmpty() && !ParseCellReference(reference, row, column))
        return false;
      if (column >= MaxSheetColumns)
        return false;
      nextColumn = column + 1;
      const QString type = attributes.value(QLatin1String("t")).toString();

      QString value;
      QString inlineText;
      while (xml.readNext() != QXmlStreamReader::Invalid) {
        if (xml.isEndElement() && xml.name() == QLatin1String("c"))
          break;
        if (!xml.isStartElement())
          continue;
        if (xml.name() == QLatin1String("v"))
          value = xml.readElementText(QXmlStreamReader::SkipChildElements);
        else if (xml.name() == QLatin1String("is"))
          inlineText = ReadStringItem(xml);
        else
          xml.skipCurrentElement();
      }

      QString text;
      if (type == QLatin1String("s")) {
        bool ok = false;
        const int index = value.trimmed().toInt(&ok);
        if (!ok || index < 0 || index >= sharedStrings.size())
          return false;
        text = sharedStrings[index];
      } else if (type == QLatin1String("inlineStr")) {
        text = inlineText;
      } else if (type == QLatin1String("str") || type == QLatin1String("e")) {
        text = DecodeEscapes(value);
      } else if (type == QLatin1String("b")) {
        text = value.trimmed() == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
      } else if (!value.isEmpty()) {
        text = NumberText(value.trimmed(), decimalSeparator);
      }
      cells.Put(row, column, text);
    }
  }
  return !xml.hasError();
}

std::optional<TextTable> ReadOpenXmlWorkbook(const QString &path, int rowCount, int columnCount,
                                             const QString &decimalSeparator) {
  QuaZip zip(path);
  if (!zip.open(QuaZip::mdUnzip))
    return std::nullopt;

  const std::optional<QByteArray> workbook = ReadPart(zip, QStringLiteral("xl/workbook.xml"));
  const std::optional<QByteArray> rels = ReadPart(zip, QStringLiteral("xl/_rels/workbook.xml.rels"));
  if (!workbook || !rels)
    return std::nullopt;
  const std::optional<QString> sheetId = FirstSheetId(*workbook);
  const std::optional<QHash<QString, Relationship>> relationships = ReadRelationships(*rels);
  if (!sheetId || !relationships || !relationships->contains(*sheetId))
    return std::nullopt;

  QString sharedStringsPart;
  for (const Relationship &relationship : *relationships)
    if (relationship.type.endsWith(QLatin1String("/sharedStrings")))
      sharedStringsPart = relationship.target;
  if (sharedStringsPart.isEmpty() && PartExists(zip, QStringLiteral("xl/sharedStrings.xml")))
    sharedStringsPart = QStringLiteral("xl/sharedStrings.xml");
  QStringList sharedStrings;
  if (!sharedStringsPart.isEmpty()) {
    const std::optional<QByteArray> data = ReadPart(zip, sharedStringsPart);
    if (!data)
      return std::nullopt;
    const std::optional<QStringList> strings = ReadSharedStrings(*data);
    if (!strings)
      return std::nullopt;
    sharedStrings = *strings;
  }

  const std::optional<QByteArray> sheet = ReadPart(zip, relationships->value(*sheetId).target);
  if (!sheet)
    return std::nullopt;
  CellWindow cells(rowCount, columnCount);
  if (!ReadSheetCells(*sheet, sharedStrings, decimalSeparator, cells))
    return std::nullopt;
  return cells.Take();
}

// ---- legacy binary workbooks ------------------------------------------------

// The first worksheet through the reader library.
class LibrarySheet : public BinarySheet {
public:
  explicit LibrarySheet(const void *handle) : handle_(handle) {}
  bool Dimensions(unsigned int &rows, unsigned short &columns) override {
    return freexl_worksheet_dimensions(handle_, &rows, &columns) == FREEXL_OK;
  }
  bool Cell(unsigned int row, unsigned short column, FreeXL_CellValue &value) override {
    return freexl_get_cell_value(handle_, row, column, &value) == FREEXL_OK;
  }

private:
  const void *handle_;
};

std::optional<TextTable> ReadBinaryWorkbookHere(const QString &path, int rowCount, int columnCount,
                                                const QString &decimalSeparator) {
  if (QFileInfo(path).size() > WorkbookPartLimit)
    return std::nullopt;
  const void *handle = nullptr;
  if (freexl_open(QFile::encodeName(path).constData(), &handle) != FREEXL_OK) {
    if (handle != nullptr)
      freexl_close(handle);
    return std::nullopt;
  }
  struct Closer {
    const void *handle;
    ~Closer() { freexl_close(handle); }
  } closer{handle};

  unsigned int sheetCount = 0;
  unsigned int password = 0;
  if (freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheetCount) != FREEXL_OK || sheetCount == 0 ||
      freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &password) != FREEXL_OK || password != FREEXL_BIFF_PLAIN)
    return std::nullopt;
  if (freexl_select_active_worksheet(handle, 0) != FREEXL_OK)
    return std::nullopt;
  LibrarySheet sheet(handle);
  return ReadSheetWindow(sheet, rowCount, columnCount, decimalSeparator);
}

// The binary reader library overruns a stack buffer of its own on some
// damaged ".xls" files (found by fuzzing): iconv is handed more bytes than
// the buffer holds and reads on into the frames above. So it reads in a child
// process, where nothing it does can harm the program, and there on a stack
// of its own with inaccessible pages at both ends: a read that runs off the
// frames above meets them and ends the child. Without the address checker,
// iconv is checked here as the checker would: input that reaches the frames
// of the reading code ends the child too. And the file is read twice, on two
// such stacks: a shorter overrun that turns bytes of the frames into text
// meets addresses of the stack it runs on, and the two answers differ. A
// child that dies, takes too long, reads two different sheets or sends back
// anything but a well-formed answer means a damaged file, and nothing it sent
// is used. The answer comes back through a pipe.
constexpr int BinaryReadLimitMs = 30000;
constexpr std::size_t ReaderStackBytes = 2 * 1024 * 1024;
// How the child tells what it caught.
constexpr int ReadsDifferStatus = 3;
constexpr int OverrunStatus = 4;

struct ChildRead {
  QString path;
  int rowCount;
  int columnCount;
  QString decimalSeparator;
  const char *stack = nullptr;
  QByteArray answer;
};

// The reading stack's bytes that belong to the library: from the stack's
// foot up to the reading code's frame.
thread_local const char *libraryFoot = nullptr;
thread_local const char *libraryTop = nullptr;

// Whether bytes on the reading stack run into the reading code's frames.
[[maybe_unused]] bool ReachesReadingCode(const char *start, size_t length) {
  if (libraryTop == nullptr || start == nullptr)
    return false;
  const bool onLibraryStack = start >= libraryFoot && start < libraryTop;
  return onLibraryStack && length > static_cast<size_t>(libraryTop - start);
}

void *ReadInChild(void *read) {
  auto *r = static_cast<ChildRead *>(read);
  char mark = 0;
  libraryFoot = r->stack;
  libraryTop = &mark;
  r->answer =
      EncodeSheetAnswer(ReadBinaryWorkbookHere(r->path, r->rowCount, r->columnCount, r->decimalSeparator));
  return nullptr;
}

// The answer read on a fenced stack; a refusal when there is no room for one.
// The stack stays mapped, so the next read runs on another one.
QByteArray ReadOnFencedStack(ChildRead &read) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  void *area = mmap(nullptr, ReaderStackBytes + 2 * page, PROT_NONE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (area == MAP_FAILED)
    return EncodeSheetAnswer(std::nullopt);
  char *stack = static_cast<char *>(area) + page;
  pthread_attr_t attributes;
  pthread_t thread;
  if (mprotect(stack, ReaderStackBytes, PROT_READ | PROT_WRITE) != 0 || pthread_attr_init(&attributes) != 0)
    return EncodeSheetAnswer(std::nullopt);
  read.stack = stack;
  const bool started = pthread_attr_setstack(&attributes, stack, ReaderStackBytes) == 0 &&
                       pthread_create(&thread, &attributes, ReadInChild, &read) == 0;
  pthread_attr_destroy(&attributes);
  if (!started || pthread_join(thread, nullptr) != 0)
    return EncodeSheetAnswer(std::nullopt);
  return read.answer;
}

std::optional<TextTable> ReadBinaryWorkbook(const QString &path, int rowCount, int columnCount,
                                            const QString &decimalSeparator, WorkbookRefusal &refusal) {
  int channel[2];
  if (pipe(channel) != 0)
    return std::nullopt;
  const pid_t child = fork();
  if (child < 0) {
    close(channel[0]);
    close(channel[1]);
    return std::nullopt;
  }
  if (child == 0) {
    close(channel[0]);
    ChildRead first{path, rowCount, columnCount, decimalSeparator, nullptr, {}};
    ChildRead second = first;
    const QByteArray bytes = ReadOnFencedStack(first);
    if (ReadOnFencedStack(second) != bytes)
      _exit(ReadsDifferStatus);
    for (qsizetype sent = 0; sent < bytes.size();) {
      const ssize_t n = write(channel[1], bytes.constData() + sent, static_cast<size_t>(bytes.size() - sent));
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        _exit(1);
      sent += n;
    }
    _exit(0);
  }

  close(channel[1]);
  QByteArray bytes;
  QElapsedTimer clock;
  clock.start();
  bool complete = false;
  while (clock.elapsed() < BinaryReadLimitMs) {
    pollfd wait{channel[0], POLLIN, 0};
    const int ready = poll(&wait, 1, static_cast<int>(BinaryReadLimitMs - clock.elapsed()));
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready <= 0)
      break;
    char buffer[65536];
    const ssize_t n = read(channel[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      complete = n == 0;
      break;
    }
    bytes.append(buffer, n);
  }
  close(channel[0]);
  if (!complete)
    kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }

  const auto damaged = [&refusal](const QString &readerEnd) {
    refusal.damaged = true;
    refusal.readerEnd = readerEnd;
    return std::nullopt;
  };
  if (!complete)
    return damaged(QStringLiteral("no answer within %1 s").arg(BinaryReadLimitMs / 1000));
  if (WIFEXITED(status) && WEXITSTATUS(status) == ReadsDifferStatus)
    return damaged(QStringLiteral("two reads of it differ"));
  if (WIFEXITED(status) && WEXITSTATUS(status) == OverrunStatus)
    return damaged(QStringLiteral("it read past its buffer"));
  if (WIFSIGNALED(status))
    return damaged(QStringLiteral("signal %1").arg(WTERMSIG(status)));
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return damaged(QStringLiteral("exit status %1").arg(WEXITSTATUS(status)));
  SheetAnswer answer = DecodeSheetAnswer(bytes, rowCount, columnCount);
  if (answer.kind == SheetAnswer::Garbled)
    return damaged(QStringLiteral("a garbled answer"));
  if (answer.kind == SheetAnswer::Refused)
    return std::nullopt;
  return std::move(answer.table);
}

} // namespace

#if !defined(__has_feature)
#define __has_feature(x) 0
#endif
#if !defined(__SANITIZE_ADDRESS__) && !__has_feature(address_sanitizer)
// The reader library's conversions go through here (the address checker has
// its own check of iconv). Input reaching the reading code's frame is more
// than any buffer of the library holds.
extern "C" size_t iconv(iconv_t cd, char **__restrict in, size_t *__restrict inLeft, char **__restrict out,
                        size_t *__restrict outLeft) {
  using Iconv = size_t (*)(iconv_t, char **, size_t *, char **, size_t *);
  static const auto real = reinterpret_cast<Iconv>(dlsym(RTLD_NEXT, "iconv"));
  if (in != nullptr && inLeft != nullptr && ReachesReadingCode(*in, *inLeft))
    _exit(OverrunStatus);
  if (real == nullptr) {
    errno = EBADF;
    return static_cast<size_t>(-1);
  }
  return real(cd, in, inLeft, out, outLeft);
}
#endif

std::optional<TextTable> ReadWorkbook(const QString &path, int rowCount, int columnCount,
                                      const QString &decimalSeparator, WorkbookRefusal *refusal) {
  WorkbookRefusal ignored;
  if (refusal == nullptr)
    refusal = &ignored;
  *refusal = WorkbookRefusal();
  if (rowCount < 0 || columnCount < 0)
    return std::nullopt;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return std::nullopt;
  const QByteArray magic = file.read(8);
  file.close();
  if (magic.startsWith("PK\x03\x04"))
    return ReadOpenXmlWorkbook(path, rowCount, columnCount, decimalSeparator);
  if (magic == QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
    return ReadBinaryWorkbook(path, rowCount, columnCount, decimalSeparator, *refusal);
  return std::nullopt;
}
