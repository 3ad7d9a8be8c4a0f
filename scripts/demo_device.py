#!/usr/bin/env python3
"""A small pretend device on the far end of a virtual serial line, so a
newcomer who opens the port sees it talk: it answers AT with OK, echoes
other lines, and reports a status line (ASCII and GBK Chinese) every few
seconds. Usage: demo_device.py <pty path>"""
import os
import select
import sys
import termios
import time
import tty

STATUS_EVERY = 3.0


def main():
    path = sys.argv[1]
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    attrs = termios.tcgetattr(fd)
    attrs[3] &= ~termios.ECHO
    termios.tcsetattr(fd, termios.TCSANOW, attrs)

    def send(text):
        os.write(fd, text.encode('gbk'))

    pending = b''
    count = 0
    next_status = time.monotonic() + 1.0
    while True:
        timeout = max(0.0, next_status - time.monotonic())
        ready, _, _ = select.select([fd], [], [], timeout)
        if ready:
            try:
                data = os.read(fd, 4096)
            except OSError:
                data = b''
            if not data:
                time.sleep(0.2)
                continue
            pending += data
            while True:
                cut = min((i for i in (pending.find(b'\r'), pending.find(b'\n')) if i >= 0), default=-1)
                if cut < 0:
                    break
                line, pending = pending[:cut], pending[cut + 1:]
                if not line:
                    continue
                text = line.decode('gbk', errors='replace').strip()
                if text.upper() == 'AT':
                    send('OK\r\n')
                else:
                    send('ECHO: ' + text + '\r\n')
        if time.monotonic() >= next_status:
            count += 1
            send(f'[{count:04d}] 温度 23.{count % 10}℃  电压 3.3V  状态:正常\r\n')
            next_status = time.monotonic() + STATUS_EVERY


if __name__ == '__main__':
    try:
        main()
    except KeyboardInterrupt:
        pass
