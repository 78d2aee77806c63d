# A Qt line edit for the keyboard tests, speaking as x11_textbox does:
# "ready WINDOW PID" once shown, "focus" when it gets the keyboard focus,
# "text 0 JSON" at every change, and "done COMMAND" for the commands of its
# input (clear, focus text); it ends when its input closes. Enter inserts a
# line break, as a multi-line field would take it.
import json
import os
import sys

from PyQt5.QtCore import QSocketNotifier, Qt
from PyQt5.QtWidgets import QApplication, QLineEdit


def say(line):
    print(line, flush=True)


class Field(QLineEdit):
    def keyPressEvent(self, event):
        if event.key() in (Qt.Key_Return, Qt.Key_Enter):
            self.insert("\n")
        else:
            super().keyPressEvent(event)

    def focusInEvent(self, event):
        super().focusInEvent(event)
        say("focus")


def command():
    line = sys.stdin.readline()
    if not line:
        app.quit()
        return
    line = line.rstrip("\n")
    if line == "clear":
        field.clear()
    say("done " + line)


app = QApplication(sys.argv)
field = Field()
field.setWindowTitle("Harvel Qt line edit")
field.textChanged.connect(lambda text: say("text 0 " + json.dumps(text, ensure_ascii=False)))
field.resize(400, 40)
field.show()
notifier = QSocketNotifier(sys.stdin.fileno(), QSocketNotifier.Read)
notifier.activated.connect(command)
say("ready %d %d" % (int(field.winId()), os.getpid()))
sys.exit(app.exec_())
