"""Finding and running the kavrix commands on behalf of an algorithm."""

import os
import queue
import re
import shlex
import shutil
import subprocess
import threading
import time

from qgis.core import QgsProcessingException, QgsProcessingFeedback
from processing.core.ProcessingConfig import ProcessingConfig

# The Processing setting that names the folder of the commands; empty: PATH.
TOOLS_FOLDER = 'KAVRIX_FOLDER'

# How long a cancelled command has to remove its temporaries before it is
# killed, in seconds.
TERMINATION_GRACE = 10.0

# A complete step of GDAL's terminal progress "0...10...20...100 - done.": a
# number of percent followed by the dot or space that ends it (a number at the
# end of the text may be cut short), or one dot of 2.5 %.
_PROGRESS_STEP = re.compile(r'(\d+)(?=[. ])|\.')


def tools_folder():
    """The folder set in the Processing options, '' when none is set."""
    return (ProcessingConfig.getSetting(TOOLS_FOLDER) or '').strip()


def find_tool(name):
    """The path of the command `name`: in the folder of the Processing
    options first, then on PATH; None where neither has it."""
    folder = tools_folder()
    found = shutil.which(name, path=folder) if folder else None
    return found or shutil.which(name)


def missing_tool_message(name):
    """Says that `name` was found neither in the set folder nor on PATH."""
    folder = tools_folder()
    where = ('was found neither in the folder {} nor'.format(folder) if folder
             else 'was not found')
    return ('{0} {1} on PATH: install kavrix, or set the folder that holds {0} '
            'in Settings > Options > Processing > Providers > kavrix'.format(name, where))


def progress_percent(text):
    """The percentage that GDAL's terminal progress in `text` has reached.

    GDAL prints the tens of percent ("0", "10", ..., "100") with three dots
    of 2.5 % between them, then " - done.", whose dot is no step. The text
    may end within a number ("...2" of "20"), which is not counted yet."""
    head, done, _ = text.partition(' - done')
    if done:
        return 100.0
    percent = 0.0
    for step in _PROGRESS_STEP.finditer(head):
        percent = float(step.group(1)) if step.group(1) else percent + 2.5
    return min(percent, 100.0)


def _pump(stream, tag, chunks):
    """Moves what `stream` yields into `chunks` as (tag, bytes), then
    (tag, None) at its end, so that the caller never blocks on a pipe."""
    for chunk in iter(lambda: os.read(stream.fileno(), 65536), b''):
        chunks.put((tag, chunk))
    chunks.put((tag, None))


def run_tool(name, arguments, feedback, show_progress=True):
    """Runs the kavrix command `name` with `arguments` and returns its
    standard output as text.

    Its progress on standard output moves the feedback's progress bar where
    `show_progress` is set. Cancelling the feedback sends it SIGTERM (on
    which the kavrix commands remove their temporaries) and waits for its end.
    A cancelled run, a failure (an exit status other than 0, or a signal) and
    a command that cannot be found raise QgsProcessingException, a failure
    with what the command said on standard error; what a command that
    succeeds says there shows as a warning."""
    feedback = feedback or QgsProcessingFeedback()
    path = find_tool(name)
    if path is None:
        raise QgsProcessingException(missing_tool_message(name))
    command = [path] + [str(a) for a in arguments]
    feedback.pushCommandInfo(' '.join(shlex.quote(c) for c in command))
    try:
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    except OSError as error:
        raise QgsProcessingException('{} could not be started: {}'.format(name, error))

    chunks = queue.Queue()
    readers = [threading.Thread(target=_pump, args=(process.stdout, 'out', chunks), daemon=True),
               threading.Thread(target=_pump, args=(process.stderr, 'err', chunks), daemon=True)]
    for reader in readers:
        reader.start()
    output = {'out': bytearray(), 'err': bytearray()}
    open_streams, percent, terminated_at = 2, 0.0, None
    while open_streams or process.poll() is None:
        # A command that has ended already is left to report how it ended.
        if feedback.isCanceled() and terminated_at is None and process.poll() is None:
            process.terminate()
            terminated_at = time.monotonic()
        if terminated_at is not None and time.monotonic() - terminated_at > TERMINATION_GRACE:
            process.kill()
        try:
            tag, chunk = chunks.get(timeout=0.1)
        except queue.Empty:
            continue
        if chunk is None:
            open_streams -= 1
            continue
        output[tag] += chunk
        if tag == 'out' and show_progress:
            reached = progress_percent(output['out'].decode('ascii', 'replace'))
            if reached > percent:
                percent = reached
                feedback.setProgress(percent)
    status = process.wait()
    for reader in readers:
        reader.join()
    process.stdout.close()
    process.stderr.close()
    out = output['out'].decode('utf-8', 'replace')
    err = output['err'].decode('utf-8', 'replace').strip()

    # A command that completed before the signal reached it has made its output.
    if terminated_at is not None and status != 0:
        raise QgsProcessingException('{} was cancelled'.format(name))
    if status != 0:
        how = ('exit status {}'.format(status) if status > 0
               else 'signal {}'.format(-status))
        raise QgsProcessingException('{} failed ({}): {}'.format(name, how, err or 'no message'))
    if err:
        feedback.pushWarning(err)
    feedback.setProgress(100)
    return out
