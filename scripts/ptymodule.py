#!/usr/bin/python3
"""ptymodule.py LOG COMMAND...: runs COMMAND, "{port}" in its arguments
replaced by the path of a new pseudo-terminal whose far end answers as the
radio module does: each read request and each write request with the
parameter block, a write's values taken into it. Every request goes to LOG
in hexadecimal, one a line; bytes that make no request are written there as
"stray ...". Exits with COMMAND's exit code; a COMMAND still running after a
minute is killed and "timed out" logged.

Written apart from the project's code, so that what a build sends and reads
is checked against the bytes themselves. The far end sets no line mode of its
own: the terminal's settings are those the program under test makes."""
import os
import select
import subprocess
import sys
import time

READ = bytes.fromhex("ff4ccf52a152f0")
WRITE_HEADER = bytes.fromhex("ff4ccf52a157f1")
WRITE_LENGTH = 16
# Start byte, model, version, MAC, group, frequency in kHz (3 bytes, big
# endian), rate, power, baud, parity, wake-up codes, 0. The MAC carries
# XON, XOFF, CR, LF, ^C, ^\, DEL and 0xFF, which a line not set raw changes.
block = bytearray(b"\x24" + b"ARM1" + b"2.0.001" + bytes.fromhex("11130d0a031c7fff") +
                  bytes([0]) + (915000).to_bytes(3, "big") + bytes([3, 7, 3, 0, 5, 0]))


def main():
    log_path, command = sys.argv[1], sys.argv[2:]
    master, slave = os.openpty()  # the slave held open: else reads fail while the port is shut
    port = os.ttyname(slave)
    proc = subprocess.Popen([arg.replace("{port}", port) for arg in command])
    received, log = bytearray(), []
    deadline = time.monotonic() + 60
    while proc.poll() is None and time.monotonic() < deadline:
        if not select.select([master], [], [], 0.1)[0]:
            continue
        try:
            received += os.read(master, 256)
        except OSError:
            continue
        while True:
            if received.startswith(READ):
                length = len(READ)
            elif received.startswith(WRITE_HEADER) and len(received) >= WRITE_LENGTH:
                length = WRITE_LENGTH
            else:
                break
            request = bytes(received[:length])
            del received[:length]
            log.append(request.hex())
            if length == WRITE_LENGTH:
                block[21:24] = request[7:10]
                block[20] = request[10]
                block[24:29] = request[11:16]
            os.write(master, bytes(block))
    if proc.poll() is None:
        proc.kill()
        log.append("timed out")
    if received:
        log.append("stray " + received.hex())
    with open(log_path, "w") as out:
        out.write("".join(line + "\n" for line in log))
    sys.exit(proc.wait())


if __name__ == "__main__":
    main()
