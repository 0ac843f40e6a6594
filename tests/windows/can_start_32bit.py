#!/usr/bin/env python3
"""Whether this machine's kernel starts 32-bit x86 programs, as 32-bit wine needs.

  can_start_32bit.py     status 0 if it does; 1, with the reason on standard error, if not

Tries a program of its own, written out here byte by byte, so that it needs no 32-bit library
or compiler: a static 32-bit ELF file whose only instructions exit with status 42. A kernel built
without 32-bit support refuses it with "Exec format error".
"""
import os, struct, subprocess, sys, tempfile

BASE = 0x08048000
HEADER, PROGRAM_HEADER = 52, 32
CODE = bytes([0xB8, 0x01, 0x00, 0x00, 0x00,  # mov eax, 1 (exit)
              0xBB, 0x2A, 0x00, 0x00, 0x00,  # mov ebx, 42
              0xCD, 0x80])                   # int 0x80
SIZE = HEADER + PROGRAM_HEADER + len(CODE)


def program():
    identity = b"\x7fELF" + bytes([1, 1, 1, 0]) + bytes(8)  # 32-bit, little-endian, version 1
    header = struct.pack("<16sHHIIIIIHHHHHH", identity, 2, 3, 1,  # executable, i386, version 1
                         BASE + HEADER + PROGRAM_HEADER,  # entry: the code after the headers
                         HEADER, 0, 0, HEADER, PROGRAM_HEADER, 1, 0, 0, 0)
    # One loadable, readable and executable segment: the whole file.
    segment = struct.pack("<IIIIIIII", 1, 0, BASE, BASE, SIZE, SIZE, 5, 0x1000)
    return header + segment + CODE


def main():
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "exit42")
        with open(path, "wb") as f:
            f.write(program())
        os.chmod(path, 0o755)
        try:
            status = subprocess.run([path]).returncode
        except OSError as refused:
            print(f"this kernel cannot start 32-bit programs: {refused.strerror}", file=sys.stderr)
            return 1
    if status != 42:
        print(f"a 32-bit program ended with status {status}, not 42", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
