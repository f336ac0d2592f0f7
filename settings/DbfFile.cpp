#include "settings/DbfFile.h"

#include <shapefil.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr unsigned char HeaderTerminator = 0x0D;
constexpr int DescriptorSize = 32;
constexpr int MaxFields = 255;

std::string BaseName(const std::string &path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirName(const std::string &path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string SystemError() { return std::strerror(errno); }

unsigned U16(const std::string &b, std::size_t at) {
  return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}

std::uint64_t U32(const std::string &b, std::size_t at) {
  return static_cast<std::uint64_t>(U16(b, at)) | (static_cast<std::uint64_t>(U16(b, at + 2)) << 16);
}

std::string ReadWholeFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw ETableStoreError("Cannot open table file '" + path + "': " + SystemError());
  std::ostringstream data;
  data << in.rdbuf();
  if (in.bad())
    throw ETableStoreError("Cannot read table file '" + path + "'");
  return data.str();
}

// Shapelib picks the file by trying the name with ".dbf" and ".DBF"; these
// hooks make it open exactly the file we chose, and collect its complaints
// instead of printing them.
thread_local const char *ExactDbfPath = nullptr;
thread_local std::string ShapelibMessage;

SAFile OpenExact(const char *filename, const char *access) {
  std::string name = filename;
  const bool isDbf = name.size() >= 4 && (name.compare(name.size() - 4, 4, ".dbf") == 0 ||
                                          name.compare(name.size() - 4, 4, ".DBF") == 0);
  if (isDbf && ExactDbfPath)
    name = ExactDbfPath;
  else if (isDbf || ExactDbfPath)
    return nullptr; // never a side file (code page) or a stray guess
  return reinterpret_cast<SAFile>(std::fopen(name.c_str(), access));
}

void RecordError(const char *message) { ShapelibMessage = message ? message : ""; }

class TShapelibFile {
public:
  TShapelibFile(const std::string &path, const char *access, bool create) {
    SASetupDefaultHooks(&hooks_);
    hooks_.FOpen = OpenExact;
    hooks_.Error = RecordError;
    ExactDbfPath = path.c_str();
    ShapelibMessage.clear();
    handle_ =
        create ? DBFCreateLL(path.c_str(), "LDID/87", &hooks_) : DBFOpenLL(path.c_str(), access, &hooks_);
    ExactDbfPath = nullptr;
    if (!handle_)
      throw ETableStoreError("Cannot open table file '" + path + "'" +
                             (ShapelibMessage.empty() ? "" : ": " + ShapelibMessage));
  }
  ~TShapelibFile() { Close(); }
  TShapelibFile(const TShapelibFile &) = delete;
  TShapelibFile &operator=(const TShapelibFile &) = delete;
  DBFHandle Handle() const { return handle_; }
  void Close() {
    if (handle_)
      DBFClose(handle_);
    handle_ = nullptr;
  }

private:
  SAHooks hooks_{};
  DBFHandle handle_ = nullptr;
};

TDbfValue DecodeValue(const TDbfFieldDef &field, const char *bytes) {
  std::string text(bytes, static_cast<std::size_t>(field.width));
  const auto last = text.find_last_not_of(std::string(" \0", 2));
  text.erase(last == std::string::npos ? 0 : last + 1);
  switch (field.type) {
  case 'L': {
    const char c = text.empty() ? ' ' : text[0];
    if (std::strchr("TtYy", c))
      return "T";
    if (std::strchr("FfNn", c))
      return "F";
    return std::nullopt;
  }
  case 'N':
  case 'F': {
    const auto first = text.find_first_not_of(' ');
    text.erase(0, first == std::string::npos ? text.size() : first);
    if (text.empty() || text.find_first_not_of('*') == std::string::npos)
      return std::nullopt;
    return text;
  }
  default:
    if (text.empty())
      return std::nullopt;
    return text;
  }
}

void SyncAndClose(int fd, const std::string &what) {
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  if (!ok)
    throw ETableStoreError("Cannot write '" + what + "' to disk: " + SystemError());
}

void SyncFile(const std::string &path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0)
    throw ETableStoreError("Cannot open '" + path + "': " + SystemError());
  SyncAndClose(fd, path);
}

void SyncFolder(const std::string &folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

constexpr const char *TemporaryPrefix = ".~";
constexpr const char *TemporarySuffix = ".tmp.dbf";

// A file name beside `path` that no other writer uses; it ends in ".dbf" so
// that shapelib accepts it. The writer's process id is part of the name:
// ".~<table>.<pid>.<n>.tmp.dbf".
std::string TemporaryName(const std::string &path) {
  static std::atomic<unsigned> counter{0};
  return DirName(path) + "/" + TemporaryPrefix + BaseName(path) + "." + std::to_string(::getpid()) + "." +
         std::to_string(counter++) + TemporarySuffix;
}

// Removes the temporary file unless it was moved into place.
class TTemporaryFile {
public:
  explicit TTemporaryFile(std::string path) : path_(std::move(path)) {}
  ~TTemporaryFile() {
    if (!path_.empty())
      std::remove(path_.c_str());
  }
  const std::string &Path() const { return path_; }
  void Release() { path_.clear(); }

private:
  std::string path_;
};

void WriteCell(DBFHandle handle, int record, int field, const std::string &bytes, const std::string &path) {
  if (!DBFWriteAttributeDirectly(handle, record, field, const_cast<char *>(bytes.c_str())))
    throw ETableStoreError("Cannot write record " + std::to_string(record + 1) + " of '" + path + "'");
}

// A table that is a symbolic link is saved into the file it links to, so
// the link stays a link and the linked file gets the update; the new file is
// made beside that file, where the rename that replaces it is atomic.
std::string SaveTarget(const std::string &path) {
  char *resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved)
    return path;
  std::string target = resolved;
  std::free(resolved);
  return target;
}

} // namespace

std::vector<TDbfFieldDef> ParseDbfHeader(const std::string &bytes, const std::string &displayName) {
  const auto damaged = [&](const std::string &why) {
    return ETableStoreError("Table file '" + displayName + "' is damaged: " + why);
  };
  if (bytes.size() < DescriptorSize * 2 + 1)
    throw damaged("file too short");
  const unsigned version = static_cast<unsigned char>(bytes[0]);
  const bool visualFoxPro = version >= 0x30 && version <= 0x32;
  if (!visualFoxPro && ((version & 0x07) < 2 || (version & 0x07) > 5))
    throw damaged("not a dBASE table");
  const std::uint64_t recordCount = U32(bytes, 4);
  const unsigned headerLength = U16(bytes, 8);
  const unsigned recordLength = U16(bytes, 10);
  if (headerLength < DescriptorSize * 2 + 1 || headerLength > bytes.size())
    throw damaged("bad header length");
  if (recordLength < 2)
    throw damaged("bad record length");

  std::vector<TDbfFieldDef> fields;
  unsigned sum = 1; // the deletion flag
  std::size_t at = DescriptorSize;
  for (;; at += DescriptorSize) {
    if (at >= headerLength)
      throw damaged("field list not terminated");
    if (static_cast<unsigned char>(bytes[at]) == HeaderTerminator)
      break;
    if (at + DescriptorSize > headerLength)
      throw damaged("field list not terminated");
    if (fields.size() == MaxFields)
      throw damaged("too many fields");
    TDbfFieldDef field;
    for (std::size_t i = 0; i < 11 && bytes[at + i] != '\0'; ++i) {
      const unsigned char c = static_cast<unsigned char>(bytes[at + i]);
      if (c <= ' ' || c >= 0x7F)
        throw damaged("bad field name");
      field.name += static_cast<char>(c);
    }
    if (field.name.empty())
      throw damaged("empty field name");
    for (const TDbfFieldDef &other : fields)
      if (other.name == field.name)
        throw damaged("field '" + field.name + "' appears twice");
    field.type = bytes[at + 11];
    const unsigned low = static_cast<unsigned char>(bytes[at + 16]);
    const unsigned high = static_cast<unsigned char>(bytes[at + 17]);
    if (field.type == 'N' || field.type == 'F') {
      field.width = static_cast<int>(low);
      field.decimals = static_cast<int>(high);
    } else {
      field.width = static_cast<int>(low + high * 256);
    }
    if (field.width <= 0)
      throw damaged("field '" + field.name + "' has no width");
    if (field.type == 'L' && field.width != 1)
      throw damaged("logical field '" + field.name + "' is not one character wide");
    sum += static_cast<unsigned>(field.width);
    fields.push_back(field);
  }
  if (fields.empty())
    throw damaged("no fields");
  if (sum != recordLength)
    throw damaged("record length does not match its fields");
  if (headerLength + recordCount * recordLength > bytes.size())
    throw damaged("file shorter than its records");
  return fields;
}

TDbfTable ReadDbfTable(const std::string &path) {
  const std::string bytes = ReadWholeFile(path);
  TDbfTable table;
  table.fields = ParseDbfHeader(bytes, BaseName(path));
  table.languageDriver = static_cast<unsigned char>(bytes[29]);

  TShapelibFile file(path, "rb", false);
  const DBFHandle h = file.Handle();
  const int fieldCount = static_cast<int>(table.fields.size());
  if (DBFGetFieldCount(h) != fieldCount)
    throw ETableStoreError("Table file '" + BaseName(path) + "' has a layout the store does not read");
  const int recordCount = DBFGetRecordCount(h);
  std::vector<int> offsets;
  int offset = 1;
  for (const TDbfFieldDef &field : table.fields) {
    offsets.push_back(offset);
    offset += field.width;
  }
  table.records.reserve(static_cast<std::size_t>(recordCount));
  for (int r = 0; r < recordCount; ++r) {
    const char *tuple = DBFReadTuple(h, r);
    if (!tuple)
      throw ETableStoreError("Table file '" + BaseName(path) + "' is damaged: record " +
                             std::to_string(r + 1) + " cannot be read");
    TDbfRecord record;
    record.fileRecord = r;
    record.deleted = tuple[0] == '*';
    record.values.reserve(table.fields.size());
    for (int f = 0; f < fieldCount; ++f)
      record.values.push_back(DecodeValue(table.fields[f], tuple + offsets[f]));
    table.records.push_back(std::move(record));
  }
  return table;
}

std::string EncodeDbfValue(const TDbfFieldDef &field, const TDbfValue &value) {
  const auto width = static_cast<std::size_t>(field.width);
  if (field.type == 'L') {
    if (!value)
      return "?";
    return (*value == "T" || *value == "t" || *value == "Y" || *value == "y") ? "T" : "F";
  }
  if (!value)
    return std::string(width, ' ');
  std::string text = *value;
  for (char &c : text)
    if (c == '\0')
      c = ' ';
  if (field.type == 'N' || field.type == 'F') {
    if (text.size() > width)
      throw ETableStoreError("Value '" + text + "' does not fit field '" + field.name + "'");
    return std::string(width - text.size(), ' ') + text;
  }
  if (text.size() > width)
    text.resize(width);
  return text + std::string(width - text.size(), ' ');
}

void UpdateDbfTable(const std::string &tablePath, const std::vector<TDbfFieldDef> &expectedFields,
                    const std::vector<TDbfCellUpdate> &updates) {
  const std::string path = SaveTarget(tablePath);
  const std::string bytes = ReadWholeFile(path);
  if (ParseDbfHeader(bytes, BaseName(path)) != expectedFields)
    throw ETableStoreError("Table file '" + BaseName(path) + "' was changed by another program; reopen it");
  const std::uint64_t recordCount = U32(bytes, 4);

  struct stat info {};
  const mode_t mode = ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0644;
  TTemporaryFile temporary(TemporaryName(path));
  {
    const int fd = ::open(temporary.Path().c_str(), O_WRONLY | O_CREAT | O_EXCL, mode);
    if (fd < 0)
      throw ETableStoreError("Cannot write beside '" + path + "': " + SystemError());
    std::size_t written = 0;
    while (written < bytes.size()) {
      const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0) {
        ::close(fd);
        throw ETableStoreError("Cannot write beside '" + path + "': " + SystemError());
      }
      written += static_cast<std::size_t>(n);
    }
    ::close(fd);
  }
  {
    TShapelibFile file(temporary.Path(), "rb+", false);
    for (const TDbfCellUpdate &update : updates) {
      if (update.fileRecord < 0 || static_cast<std::uint64_t>(update.fileRecord) >= recordCount ||
          update.field < 0 || update.field >= static_cast<int>(expectedFields.size()))
        throw ETableStoreError("Record " + std::to_string(update.fileRecord + 1) + " is not in '" + path +
                               "'");
      WriteCell(file.Handle(), update.fileRecord, update.field,
                EncodeDbfValue(expectedFields[update.field], update.value), path);
    }
    file.Close();
  }
  SyncFile(temporary.Path());
  if (std::rename(temporary.Path().c_str(), path.c_str()) != 0)
    throw ETableStoreError("Cannot replace '" + path + "': " + SystemError());
  temporary.Release();
  SyncFolder(DirName(path));
}

bool CreateDbfTable(const std::string &tablePath, const std::vector<TDbfFieldDef> &fields,
                    const std::vector<std::vector<TDbfValue>> &records, bool replaceExisting) {
  const std::string path = replaceExisting ? SaveTarget(tablePath) : tablePath;
  TTemporaryFile temporary(TemporaryName(path));
  {
    TShapelibFile file(temporary.Path(), "wb+", true);
    for (const TDbfFieldDef &field : fields)
      if (DBFAddNativeFieldType(file.Handle(), field.name.c_str(), field.type, field.width, field.decimals) <
          0)
        throw ETableStoreError("Cannot add field '" + field.name + "' to '" + path + "'");
    int r = 0;
    for (const std::vector<TDbfValue> &record : records) {
      for (std::size_t f = 0; f < fields.size(); ++f)
        WriteCell(file.Handle(), r, static_cast<int>(f),
                  EncodeDbfValue(fields[f], f < record.size() ? record[f] : TDbfValue()), path);
      ++r;
    }
    file.Close();
  }
  SyncFile(temporary.Path());
  if (replaceExisting) {
    if (std::rename(temporary.Path().c_str(), path.c_str()) != 0)
      throw ETableStoreError("Cannot create '" + path + "': " + SystemError());
  } else {
    // link() refuses to replace an existing file, so a table that appeared in
    // the meantime is kept.
    if (::link(temporary.Path().c_str(), path.c_str()) != 0) {
      if (errno == EEXIST)
        return false;
      throw ETableStoreError("Cannot create '" + path + "': " + SystemError());
    }
    std::remove(temporary.Path().c_str());
  }
  temporary.Release();
  SyncFolder(DirName(path));
  return true;
}

int RemoveAbandonedTemporaryFiles(const std::string &folder) {
  DIR *dir = ::opendir(folder.c_str());
  if (!dir)
    return 0;
  const std::string prefix = TemporaryPrefix, suffix = TemporarySuffix;
  int removed = 0;
  while (const dirent *entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    // ".~<table>.<pid>.<n>.tmp.dbf": the process id is the second-last number
    const std::string stem = name.substr(0, name.size() - suffix.size());
    const auto counterDot = stem.find_last_of('.');
    if (counterDot == std::string::npos || counterDot == 0)
      continue;
    const auto pidDot = stem.find_last_of('.', counterDot - 1);
    if (pidDot == std::string::npos)
      continue;
    const std::string pidText = stem.substr(pidDot + 1, counterDot - pidDot - 1);
    if (pidText.empty() || pidText.find_first_not_of("0123456789") != std::string::npos || pidText.size() > 9)
      continue;
    const pid_t pid = static_cast<pid_t>(std::stol(pidText));
    if (pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH)
      continue;
    if (std::remove((folder + "/" + name).c_str()) == 0)
      ++removed;
  }
  ::closedir(dir);
  return removed;
}
