#!/usr/bin/env python3
"""make_zip.py ZIP FOLDER NAME...: a zip of FOLDER's files NAME..., in that
order, that is the same bytes wherever and whenever it is made: every entry
has the time of SOURCE_DATE_EPOCH and the same attributes."""

import os
import sys
import time
import zipfile


def main():
    target, folder, names = sys.argv[1], sys.argv[2], sys.argv[3:]
    # Zip times have no time zone and start in 1980.
    stamp = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]
    with zipfile.ZipFile(target + ".part", "w") as archive:
        for name in names:
            entry = zipfile.ZipInfo(name, date_time=stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 0  # MS-DOS: what Windows' own zips say
            entry.external_attr = 0x20  # the archive attribute, nothing else
            with open(os.path.join(folder, name), "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=9)
    os.replace(target + ".part", target)


if __name__ == "__main__":
    main()
