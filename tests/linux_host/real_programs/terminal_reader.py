# Reads the terminal's input as a line editor would and reports it in the
# terminal's title: TAG|FOCUS|TEXT|| (FOCUS "text" or "none", TEXT
# percent-encoded). Letters are appended, Backspace takes the last letter
# (a whole UTF-8 character), Enter appends a line break, Escape empties the
# text. The terminal reports its focus (mode 1004).
import codecs
import os
import sys
import tty
import urllib.parse

tag = sys.argv[1]
fd = sys.stdin.fileno()
tty.setraw(fd)
decoder = codecs.getincrementaldecoder("utf-8")("replace")
text = ""
focus = "none"


def report():
    title = "|".join([tag, focus, urllib.parse.quote(text, safe=""), "", ""])
    os.write(sys.stdout.fileno(), ("\x1b]2;" + title + "\x07").encode())


os.write(sys.stdout.fileno(), b"\x1b[?1004h")
report()
while True:
    data = os.read(fd, 4096)
    if not data:
        break
    pending = decoder.decode(data)
    while pending:
        c = pending[0]
        if pending.startswith(("\x1b[I", "\x1b[O")):
            focus = "text" if pending[2] == "I" else "none"
            pending = pending[3:]
            continue
        if c == "\x1b":
            text = ""
        elif c in "\x7f\x08":
            text = text[:-1]
        elif c == "\r":
            text += "\n"
        elif c >= " ":
            text += c
        pending = pending[1:]
    report()
