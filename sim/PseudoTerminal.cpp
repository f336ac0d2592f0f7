#include "sim/PseudoTerminal.h"

#include "serial/LineSettings.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::~PseudoTerminal() { Close(); }

bool PseudoTerminal::Open(std::string &error) {
  Close();
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
    Close();
    return false;
  }
  char name[256];
  if (ptsname_r(master_, name, sizeof name) != 0) {
    error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
    Close();
    return false;
  }
  slavePath_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY);
  if (slave_ < 0) {
    error = "cannot open " + slavePath_ + ": " + std::strerror(errno);
    Close();
    return false;
  }
  // Raw on both ends: no echo (a reply echoed back would read as a request),
  // no line editing, no CR/LF translation.
  for (int fd : {slave_, master_}) {
    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
      cfmakeraw(&tio);
      tcsetattr(fd, TCSANOW, &tio);
    }
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  return true;
}

void PseudoTerminal::ReleaseStaleExclusiveUse() {
  int exclusive = 0;
  if (slave_ < 0 || ioctl(slave_, TIOCGEXCL, &exclusive) != 0 || !exclusive)
    return;
  // Port users take this lock before they go exclusive; if it is free, the
  // one that set the mode is gone.
  if (flock(slave_, LOCK_EX | LOCK_NB) != 0)
    return;
  ioctl(slave_, TIOCNXCL);
  flock(slave_, LOCK_UN);
}

LineSeen PseudoTerminal::Seen() const {
  LineSeen seen;
  termios tio{};
  if (slave_ < 0 || tcgetattr(slave_, &tio) != 0)
    return seen;
  if (const std::uint32_t rate = BaudRateOf(cfgetispeed(&tio)); rate > 0)
    seen.baud = static_cast<int>(rate);
  // A cleared bit tells nothing: the kernel clears it whatever was asked.
  if (tio.c_cflag & PARENB)
    seen.parity = (tio.c_cflag & PARODD) ? 'O' : 'E';
  return seen;
}

void PseudoTerminal::Close() {
  if (slave_ >= 0)
    ::close(slave_);
  if (master_ >= 0)
    ::close(master_);
  slave_ = master_ = -1;
}

bool CreateSymlink(const std::string &target, const std::string &linkPath, std::string &error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path link(linkPath);
  if (link.has_parent_path()) {
    fs::create_directories(link.parent_path(), ec);
    if (ec) {
      error = "cannot create " + link.parent_path().string() + ": " + ec.message();
      return false;
    }
  }
  struct stat st {};
  if (::lstat(linkPath.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      error = linkPath + " exists and is not a symbolic link; refusing to replace it";
      return false;
    }
    if (::unlink(linkPath.c_str()) != 0) {
      error = "cannot replace " + linkPath + ": " + std::strerror(errno);
      return false;
    }
  }
  if (::symlink(target.c_str(), linkPath.c_str()) != 0) {
    error = "cannot create " + linkPath + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void RemoveSymlinkTo(const std::string &target, const std::string &linkPath) {
  char buffer[4096];
  ssize_t n = ::readlink(linkPath.c_str(), buffer, sizeof buffer - 1);
  if (n < 0)
    return;
  if (std::string(buffer, static_cast<std::size_t>(n)) == target)
    ::unlink(linkPath.c_str());
}
