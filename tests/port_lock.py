"""Whether a serial device is held by a program, as the tests of the real
program see it: the program locks the device while it has the port open."""
import errno
import fcntl
import os


def port_is_held(path):
    """True when another process has the device open for its own use."""
    try:
        fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    except OSError as error:
        return error.errno == errno.EBUSY
    try:
        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        fcntl.flock(fd, fcntl.LOCK_UN)
        return False
    except OSError:
        return True
    finally:
        os.close(fd)
