#!/usr/bin/env python3
"""Saving one entry into a diary: Quillbook against Info-ZIP zip.

    bench/save_compare.py BUILD_BIN DIARY ENTRY [RUNS]

Three contenders take turns, each on a fresh copy of DIARY that is already on disk (copied and
synced beforehand, not timed), so that a machine whose speed drifts during the run treats them
alike:
  - quillbook-tool add, a whole process (wall clock);
  - the save as the program makes it, timed inside the process by archive-bench --save: the
    writer opening the archive (reading its directory), then the save itself with the directory
    held, as the diary window's writer holds it between saves;
  - zip -P, a whole process (wall clock).
Prints the median and quartiles of each. zip writes the same kind of archive update but does not
sync it; Quillbook syncs the new file and its folder.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

PASSWORD = 'qmt90315526hzrp'


def fresh_copy(source, target):
    shutil.copyfile(source, target)
    fd = os.open(target, os.O_RDONLY)
    os.fsync(fd)
    os.close(fd)


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    bin_dir, diary, entry = (os.path.abspath(a) for a in sys.argv[1:4])
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 100
    work = tempfile.mkdtemp()
    try:
        commands = {
            'quillbook-tool add': ([os.path.join(bin_dir, 'quillbook-tool'), 'add', 'diary',
                                    '2099年1月1日', entry], 'diary'),
            'in process': ([os.path.join(bin_dir, 'archive-bench'), '--save', 'diary',
                            '2099年1月1日', entry], 'diary'),
            'zip -P': (['zip', '-q', '-P', PASSWORD, 'diary.zip', entry], 'diary.zip'),
        }
        times = {'quillbook-tool add': [], 'open + save': [], 'save (directory held)': [],
                 'zip -P': []}
        for i in range(runs + 5):
            for name, (argv, target) in commands.items():
                fresh_copy(diary, os.path.join(work, target))
                start = time.perf_counter()
                done = subprocess.run(argv, cwd=work, check=True, stdout=subprocess.PIPE, text=True)
                elapsed = (time.perf_counter() - start) * 1e3
                if i < 5:   # the first rounds warm the caches
                    continue
                if name == 'in process':
                    fields = done.stdout.split()   # open MS save MS
                    opened, saved = float(fields[1]), float(fields[3])
                    times['open + save'].append(opened + saved)
                    times['save (directory held)'].append(saved)
                else:
                    times[name].append(elapsed)
        for name, t in times.items():
            t.sort()
            print('%-22s median %6.2f ms   quartiles %6.2f .. %6.2f ms   (%d runs)'
                  % (name, statistics.median(t), t[len(t) // 4], t[3 * len(t) // 4], len(t)))
    finally:
        shutil.rmtree(work)


if __name__ == '__main__':
    main()
