"""The layers: the command-line program and the simulator run without the
window libraries, and the lower folders include nothing of the windows.

(a) ldd of the built vossek-drive-cli and vossek-drive-sim names none of
    libQt6Widgets, libQt6Gui, libQt6Charts;
(b) no file under the lower folders includes a header of app/ or a header of
    Qt Widgets, Gui or Charts (or of the other Qt modules that draw).
The build refuses most of this by itself (vdd_engine links Qt Core alone);
this catches what still compiles there, such as <QtWidgets/QWidget> or a
header of app/ that needs no window library."""
import os
import re
import shutil
import subprocess
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.environ.get("VDD_BUILD_DIR", os.path.join(HERE, "..", "build"))
SOURCE = os.environ.get("VDD_SOURCE_DIR", os.path.join(HERE, ".."))

# The folders below the windows (vdd_engine's).
LOWER = ["protocol", "serial", "portwatch", "exchange", "base", "settings", "log", "cli", "session", "trend",
         "params", "drive", "sequences", "tools", "sim"]
# The Qt modules that draw; none of their headers belongs in the lower folders.
WINDOW_MODULES = ["QtGui", "QtWidgets", "QtCharts", "QtOpenGL", "QtOpenGLWidgets", "QtPrintSupport", "QtSvg",
                  "QtSvgWidgets", "QtQuick", "QtQml"]
WINDOW_LIBRARIES = ["libQt6Widgets", "libQt6Gui", "libQt6Charts"]
INCLUDE = re.compile(r'^\s*#\s*include(?:_next)?\s*([<"])([^>"]+)[>"]', re.MULTILINE)
SOURCE_SUFFIXES = (".h", ".hpp", ".hh", ".cpp", ".cc", ".cxx", ".c", ".inl", ".ipp")


def qt_header_folder():
    """Where the Qt headers are: as Qt tells, else Debian's places."""
    for tool in ("qtpaths6", "qtpaths", "qmake6"):
        path = shutil.which(tool)
        if path:
            result = subprocess.run([path, "-query", "QT_INSTALL_HEADERS"], capture_output=True, text=True)
            folder = result.stdout.strip()
            if result.returncode == 0 and os.path.isdir(os.path.join(folder, "QtCore")):
                return folder
    for folder in ("/usr/include/x86_64-linux-gnu/qt6", "/usr/include/aarch64-linux-gnu/qt6", "/usr/include/qt6"):
        if os.path.isdir(os.path.join(folder, "QtCore")):
            return folder
    return None


def window_header_names(qt_headers):
    """Every header name of the drawing modules, "QWidget", "qwidget.h", the
    module header "QtWidgets" and "QtWidgets/..." alike."""
    names = set()
    for module in WINDOW_MODULES:
        folder = os.path.join(qt_headers, module)
        if os.path.isdir(folder):
            names.update(os.listdir(folder))
            names.add(module)
    # A header that Qt Core has too (none today) is Qt Core's.
    names.difference_update(os.listdir(os.path.join(qt_headers, "QtCore")))
    return names


def window_include(path, quoted, including_file, window_names):
    """Why the include names a window header, or None."""
    if quoted:
        candidates = [os.path.normpath(path),
                      os.path.relpath(os.path.normpath(os.path.join(os.path.dirname(including_file), path)),
                                      SOURCE)]
        for candidate in candidates:
            if candidate.replace(os.sep, "/").startswith("app/"):
                return "a header of app/"
    first = path.split("/")[0]
    if first in WINDOW_MODULES:
        return "a header of " + first
    if "/" not in path and path in window_names:
        return "a header of Qt Widgets, Gui or Charts"
    return None


def lower_files():
    for folder in LOWER:
        top = os.path.join(SOURCE, folder)
        for root, _, files in os.walk(top):
            for name in sorted(files):
                if name.endswith(SOURCE_SUFFIXES):
                    yield os.path.join(root, name)


class Layers(unittest.TestCase):
    def test_programs_without_windows_link_no_window_library(self):
        ldd = shutil.which("ldd")
        self.assertIsNotNone(ldd, "ldd is needed")
        for name in ("vossek-drive-cli", "vossek-drive-sim"):
            program = os.path.join(BUILD, name)
            self.assertTrue(os.path.exists(program), program + " is not built")
            result = subprocess.run([ldd, program], capture_output=True, text=True, timeout=60)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("libQt6Core", result.stdout, name + ": ldd lists no Qt at all")
            found = sorted({lib for lib in WINDOW_LIBRARIES if lib + "." in result.stdout})
            self.assertEqual(found, [], name + " links window libraries:\n" + result.stdout)

    def test_lower_folders_include_nothing_of_the_windows(self):
        qt_headers = qt_header_folder()
        self.assertIsNotNone(qt_headers, "the Qt headers are not found")
        window_names = window_header_names(qt_headers)
        self.assertIn("QWidget", window_names)
        self.assertIn("QColor", window_names)
        self.assertIn("QChartView", window_names)
        self.assertNotIn("QObject", window_names)
        offences = []
        checked = 0
        for file in lower_files():
            checked += 1
            with open(file, encoding="utf-8", errors="replace") as source:
                text = source.read()
            for match in INCLUDE.finditer(text):
                reason = window_include(match.group(2), match.group(1) == '"', file, window_names)
                if reason:
                    line = text.count("\n", 0, match.start()) + 1
                    offences.append("%s:%d: %s (%s)" % (os.path.relpath(file, SOURCE), line,
                                                       match.group(0).strip(), reason))
        self.assertGreater(checked, 100, "too few files found under " + SOURCE)
        self.assertEqual(offences, [], "\n" + "\n".join(offences))

    def test_only_the_history_formatter_knows_its_marks(self):
        """What an exchange came to travels as a record; the history pane's
        words for it are written in one place."""
        marks = ["No response!", "----- R >", "Not sent", "Late reply"]
        formatter = os.path.join("log", "HistoryText.cpp")
        found = []
        for folder in LOWER + ["app"]:
            for root, _, files in os.walk(os.path.join(SOURCE, folder)):
                for name in files:
                    path = os.path.join(root, name)
                    if not name.endswith(SOURCE_SUFFIXES) or os.path.relpath(path, SOURCE) == formatter:
                        continue
                    with open(path, encoding="utf-8", errors="replace") as source:
                        text = source.read()
                    found += ["%s: %s" % (os.path.relpath(path, SOURCE), mark) for mark in marks if mark in text]
        self.assertEqual(found, [])

    def test_only_the_engine_and_its_tests_change_its_state(self):
        """The program asks the engine to change its state; only the engine's
        tests and the fuzz run reach into it."""
        found = []
        for folder in LOWER + ["app", "bench"]:
            for root, _, files in os.walk(os.path.join(SOURCE, folder)):
                for name in files:
                    path = os.path.join(root, name)
                    if not name.endswith(SOURCE_SUFFIXES) or folder == "exchange":
                        continue
                    with open(path, encoding="utf-8", errors="replace") as source:
                        if "EngineStateAccess" in source.read():
                            found.append(os.path.relpath(path, SOURCE))
        self.assertEqual(found, [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
