#!/usr/bin/env python3
"""Listing a diary with the tool against extracting it with Info-ZIP, in CPU time.

    bench/tool_cpu.py [BUILD_BIN] [DAYS] [RUNS]      (defaults: build/bin, 3650, 10)

`unzip -p -P … DIARY > /dev/null` (the reference: every entry inflated and thrown away) and
`quillbook-tool diary DIARY` (every entry extracted and decoded into the list's rows) take turns,
the reference first, on a generated diary of DAYS days. Each run's CPU time (user + system, all
threads, as the kernel accounts it to the finished process) and wall time are taken; the ratio
tool / reference is taken pair by pair, so that a machine whose speed drifts treats both alike.
Twice: with every core free, then with one core kept busy by a spinning process pinned with
taskset to the last core (as on a laptop where another program is working). Prints the median
and the range of each figure.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

PASSWORD = 'qmt90315526hzrp'


def run(argv, cwd):
    """CPU seconds (user + system) and wall seconds of one whole process, output thrown away."""
    start = time.perf_counter()
    with open(os.devnull, 'wb') as null:
        process = subprocess.Popen(argv, cwd=cwd, stdout=null, stderr=null)
        _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit('%s failed (%d)' % (' '.join(argv), os.waitstatus_to_exitcode(status)))
    return usage.ru_utime + usage.ru_stime, wall


def summary(values, unit=''):
    return '%8.3f%s  (%.3f .. %.3f)' % (statistics.median(values), unit, min(values), max(values))


def compare(reference, tool, cwd, runs, label):
    figures = {k: [] for k in ('ref cpu', 'tool cpu', 'ref wall', 'tool wall', 'cpu', 'wall')}
    for i in range(runs + 1):
        ref_cpu, ref_wall = run(reference, cwd)
        tool_cpu, tool_wall = run(tool, cwd)
        if i == 0:   # the first round warms the caches
            continue
        figures['ref cpu'].append(ref_cpu)
        figures['tool cpu'].append(tool_cpu)
        figures['ref wall'].append(ref_wall)
        figures['tool wall'].append(tool_wall)
        figures['cpu'].append(tool_cpu / ref_cpu)
        figures['wall'].append(tool_wall / ref_wall)
    print(label + ' (%d pairs, median (min .. max)):' % runs)
    print('  unzip -p        cpu %s s   wall %s s' % (summary(figures['ref cpu']), summary(figures['ref wall'])))
    print('  quillbook-tool  cpu %s s   wall %s s' % (summary(figures['tool cpu']), summary(figures['tool wall'])))
    print('  tool / unzip    cpu %s     wall %s' % (summary(figures['cpu'], '×'), summary(figures['wall'], '×')))


def main():
    bin_dir = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else 'build/bin')
    days = int(sys.argv[2]) if len(sys.argv) > 2 else 3650
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 10
    work = tempfile.mkdtemp()
    spinner = None
    try:
        subprocess.run([os.path.join(bin_dir, 'make-diary'), str(days), 'diary'], cwd=work, check=True)
        print('diary of %d days: %d bytes' % (days, os.path.getsize(os.path.join(work, 'diary'))))
        reference = ['unzip', '-p', '-P', PASSWORD, 'diary']
        tool = [os.path.join(bin_dir, 'quillbook-tool'), 'diary', 'diary']
        compare(reference, tool, work, runs, 'every core free')
        last = max(os.sched_getaffinity(0))
        spinner = subprocess.Popen(['taskset', '-c', str(last), 'sh', '-c', 'while :; do :; done'])
        compare(reference, tool, work, runs, 'core %d kept busy' % last)
    finally:
        if spinner:
            spinner.kill()
            spinner.wait()
        shutil.rmtree(work)


if __name__ == '__main__':
    main()
