#!/usr/bin/python3
"""Zips a folder the same way every time: every file under DIR, sorted, named from DIR on,
with the time SOURCE_DATE_EPOCH and fixed permissions, so that the same files give the same
bytes in any folder, at any time.

usage: zip.py OUT.zip DIR
"""
import os
import sys
import time
import zipfile

out, top = sys.argv[1], sys.argv[2]
when = time.gmtime(int(os.environ['SOURCE_DATE_EPOCH']))[:6]
names = []
for root, dirs, files in os.walk(top):
    names += [os.path.join(root, f) for f in files]
with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for path in sorted(names):
        info = zipfile.ZipInfo(os.path.relpath(path, os.path.dirname(top)).replace(os.sep, '/'), when)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = (0o100755 if path.endswith(('.exe', '.dll', '.cmd')) else 0o100644) << 16
        with open(path, 'rb') as f:
            z.writestr(info, f.read(), compresslevel=9)
